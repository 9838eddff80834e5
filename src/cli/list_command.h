#pragma once

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace dirka {

/// What `dirka --list` was asked to do.
struct TListCommand {
    QString Location;                               // as the location box takes it
    std::vector<std::pair<QString, QString>> Sets;  // --set NAME=VALUE, in order
};

/// Runs a listing without a window and writes its lines to standard output.
/// Returns the exit status: 0 done, 2 usage error or missing location, 3 a folder unreadable.
int RunListCommand(const TListCommand& command);

} // namespace dirka
