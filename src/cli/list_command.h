#pragma once

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace dirka {

/// What `dirka --list` was asked to do.
struct TListCommand {
    QString Location;                              // as the location box takes it
    std::vector<std::pair<QString, QString>> Sets; // --set NAME=VALUE, in order
    QString OutputFile;                            // --output: saved as Save As does
    int OutputEncoding = 5;                        // 5 UTF-8 with BOM, 4 UTF-8, 2 UTF-16 LE
    QString PlaylistFile;                          // --m3u8
    QString PageFile;                              // --html
    bool PageFullLinks = false;                    // --html-full
    QString PagePrefix;                            // --html-prefix
    bool PageLinkFolders = false;                  // --html-link-folders
};

/// Runs a listing without a window and writes its lines to standard output.
/// Returns the exit status: 0 done, 1 a file could not be written, 2 usage error or missing
/// location, 3 a folder could not be read, 130 stopped by SIGINT.
int RunListCommand(const TListCommand& command);

} // namespace dirka
