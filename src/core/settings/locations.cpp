#include "core/settings/locations.h"

#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include <QDir>

#include <cstring>
#include <limits.h>
#include <unistd.h>

namespace dirka {

namespace {

QString workingFolder()
{
    char buffer[PATH_MAX];
    if (!::getcwd(buffer, sizeof buffer))
        return {};
    return DecodeFileName(buffer, std::strlen(buffer));
}

bool isAbsolute(QStringView path)
{
#ifdef Q_OS_WIN
    return QDir::isAbsolutePath(path.toString());
#else
    return path.startsWith(PathDelimiter);
#endif
}

// "a/b/" against the working folder. Only "." steps and doubled delimiters are dropped: what
// ".." means is the file system's to say ("missing/.." does not exist, "link/.." is the
// link target's parent), so it stays for the system to resolve.
QString madeAbsolute(QStringView relative)
{
    QString path = workingFolder();
    if (path.isEmpty())
        return {}; // no working folder: refuse rather than guess
    for (QStringView step : relative.split(PathDelimiter, Qt::SkipEmptyParts)) {
        if (step == u".")
            continue;
        if (!path.endsWith(PathDelimiter))
            path += PathDelimiter;
        path += step;
    }
    return IncludeTrailingChar(path, PathDelimiter);
}

} // namespace

QString ResolveLocation(QStringView text, const TInfo& info)
{
    const qsizetype bar = text.indexOf(u'|');
    QString location = TrimText(bar < 0 ? text : text.first(bar));

    const struct {
        QStringView Token;
        const QString& Folder;
    } pseudo[] = {
        {DesktopLocationText, info.DesktopFolder},
        {DocumentsLocationText, info.PersonalFolder},
        {ProgramFilesLocationText, info.ProgramFilesFolder},
    };
    for (const auto& p : pseudo) {
        if (SameCharsNoCase(location, p.Token, p.Token.size())) {
            if (p.Folder.isEmpty())
                return {}; // an unknown folder is refused, never read as "/" or as relative
            location = p.Folder + QStringView(location).sliced(p.Token.size());
            break;
        }
    }

    const qsizetype angle = location.indexOf(u'<');
    if (angle >= 0)
        location = TrimText(QStringView(location).first(angle));
    if (location.isEmpty())
        return location;
    if (!location.endsWith(PathDelimiter))
        location += PathDelimiter;
    return isAbsolute(location) ? location : madeAbsolute(location);
}

QString ResolveLocationList(QStringView text, const TInfo& info)
{
    QString lines;
    for (const QString& location : ResolveLocations(text, info))
        lines += location + u"\r\n";
    return lines;
}

QStringList ResolveLocations(QStringView text, const TInfo& info)
{
    QStringList locations;
    for (QStringView field : text.split(u'|'))
        locations.append(ResolveLocation(TrimText(field), info));
    return locations;
}

} // namespace dirka
