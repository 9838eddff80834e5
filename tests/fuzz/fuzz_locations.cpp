// Location texts: one resolved line per "|"-separated field, each line empty or an absolute
// folder path ending in the delimiter; resolving a result again changes nothing; a field
// naming a pseudo-location (its token in any case) lies in that folder, or is refused when the
// folder is unknown; a relative field lies in the working folder.

#include "core/settings/locations.h"
#include "core/text/char_tables.h"
#include "core/text/text_utils.h"

#include "fuzz_support.h"

#include <QDir>

using namespace dirka;

namespace {

// The token at the start of text, compared unit by unit after case folding.
bool startsWithToken(QStringView text, QStringView token)
{
    if (text.size() < token.size())
        return false;
    for (qsizetype i = 0; i < token.size(); ++i)
        if (FoldChar(text[i].unicode()) != FoldChar(token[i].unicode()))
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzsupport::TInput input(data, size);
    const std::uint8_t unknown = input.Byte();
    TInfo info;
    info.DesktopFolder = unknown & 1 ? QString() : QStringLiteral("/home/ann/Desktop/");
    info.PersonalFolder = unknown & 2 ? QString() : QStringLiteral("/home/ann/My Documents/");
    info.ProgramFilesFolder = unknown & 4 ? QString() : QStringLiteral("/usr/bin/");
    const QString text = input.Text();

    const QStringList fields = text.split(u'|');
    const QStringList locations = ResolveLocations(text, info);
    FUZZ_CHECK(locations.size() == fields.size());
    QString lines;
    for (const QString& location : locations)
        lines += location + u"\r\n";
    FUZZ_CHECK(ResolveLocationList(text, info) == lines);
    FUZZ_CHECK(ResolveLocation(text, info) == locations.first());

    // Checks that read the working folder hold when it is a plain one.
    const QString cwd = QDir::currentPath();
    const bool plainCwd = !cwd.contains(u'<') && !cwd.contains(u'|') && cwd.startsWith(u'/');
    const struct {
        QStringView Token;
        const QString& Folder;
    } pseudo[] = {{DesktopLocationText, info.DesktopFolder},
                  {DocumentsLocationText, info.PersonalFolder},
                  {ProgramFilesLocationText, info.ProgramFilesFolder}};
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString& location = locations[i];
        const QString field = TrimText(fields[i]);
        if (!location.isEmpty()) {
            FUZZ_CHECK(location.endsWith(PathDelimiter));
            FUZZ_CHECK(location.startsWith(PathDelimiter) || !plainCwd);
            if (plainCwd) {
                FUZZ_CHECK(!location.contains(u'<'));
                FUZZ_CHECK(ResolveLocation(location, info) == location);
            }
        }
        bool isPseudo = false;
        for (const auto& p : pseudo) {
            if (startsWithToken(field, p.Token)) {
                FUZZ_CHECK(p.Folder.isEmpty() ? location.isEmpty() : location.startsWith(p.Folder));
                isPseudo = true;
                break;
            }
        }
        if (!isPseudo && plainCwd && !field.isEmpty() && field[0] != PathDelimiter &&
            field[0] != u'<')
            FUZZ_CHECK(location.startsWith(QDir(cwd).absolutePath()));
    }
    return 0;
}
