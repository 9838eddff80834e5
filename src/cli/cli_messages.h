#pragma once

#include <QString>

#include <cstdio>

namespace dirka {

/// One message on standard error, "dirka: " first. The numbered error texts put CR LF before
/// the system's reason; a terminal wants LF.
inline void PrintError(QString message)
{
    message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    std::fprintf(stderr, "dirka: %s\n", message.toUtf8().constData());
}

} // namespace dirka
