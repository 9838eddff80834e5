#pragma once

#include "core/settings/settings_records.h"
#include "core/text/byte_buffer.h"
#include "core/text/text_utils.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <cstring>

// The exact text of the walker's lines: folder and file items, size and statistics texts.
namespace dirka {

/// The walk parameters the line texts depend on, derived once per location from the style,
/// plus the default locale's number separators.
struct TLineFormat {
    qsizetype RootLength = 1; // units of the location path, which ends in the delimiter
    QChar SeparatorChar = u'\t';
    QString IndentUnit;     // one indentation step
    QString ListIndent;     // IndentUnit in list mode, empty in tree mode
    QString GroupSeparator; // of QLocale() when the format was made
    QString DecimalPoint;
    QByteArray GroupSeparatorUtf8; // the same two in UTF-8
    QByteArray DecimalPointUtf8;

    static TLineFormat FromStyle(const TListStyle& style, qsizetype rootLength);
};

/// Appends text as it is shown in a result line: control characters (U+0000..U+001F,
/// U+007F..U+009F), U+2028, U+2029, the bidirectional controls (U+202A..U+202E,
/// U+2066..U+2069), U+FFFE, U+FFFF and lone surrogates become U+FFFD, so every item stays one
/// line and reads in the order of its units.
void AppendShown(QString& out, QStringView text);
/// The text as AppendShown writes it: ShownText(u"a\nb") == u"a\uFFFDb"
QString ShownText(QStringView text);

/// The item text of a folder for a Base or Folder code; fullPath ends in the delimiter.
QString FolderItemText(const TLineFormat& format, QStringView fullPath, QStringView name, int code);
void AppendFolderItemText(QString& out, const TLineFormat& format, QStringView fullPath,
                          QStringView name, int code);

/// The item text of a file for a File code; the file's full path is folderPath + name.
QString FileItemText(const TLineFormat& format, QStringView fullPath, QStringView name, int code,
                     std::int64_t size);
void AppendFileItemText(QString& out, const TLineFormat& format, QStringView folderPath,
                        QStringView name, int code, std::int64_t size);

/// The same for a folder path that went through AppendShown already, as the walker keeps it
/// for all the files of a folder.
void AppendFileItemTextInShownFolder(QString& out, const TLineFormat& format,
                                     QStringView shownFolderPath, QStringView name, int code,
                                     std::int64_t size);
/// Where the relative paths start in the paths of a location: at its last delimiter.
qsizetype RelativePathStart(const TLineFormat& format);

/// The part of a file's shown folder path that its line shows: the whole path, the part from
/// the relative start on, or nothing, as the file code says.
QStringView FileFolderPart(const TLineFormat& format, QStringView shownFolderPath, int code);

/// The file's item text as AppendFileItemTextInShownFolder writes it, in UTF-8, from the UTF-8
/// of FileFolderPart: for lines printed as they come, with no round trip of the whole line
/// through UTF-16. Writes nothing and answers false when the name is not shown as it is (an
/// undecodable byte, a control character ...): those take the UTF-16 way. printableAscii says
/// that every unit of the name is known to be printable ASCII (U+0020..U+007E), as
/// DecodeFileNameInto tells, which skips looking at them.
/// AppendFileItemUtf8(out, f, "/a/", u"b", 10, 0) appends "/a/b".
namespace detail {
bool AppendOtherFileItemUtf8(TByteBuffer& out, const TLineFormat& format,
                             QByteArrayView folderPartUtf8, QStringView name, int code,
                             std::int64_t size, bool printableAscii);
}
inline bool AppendFileItemUtf8(TByteBuffer& out, const TLineFormat& format,
                               QByteArrayView folderPartUtf8, QStringView name, int code,
                               std::int64_t size, bool printableAscii = false)
{
    // The most common line, a path or a name of printable ASCII alone, is written in one piece
    // here, where the walk's loop makes it.
    if (printableAscii && (code == 1 || code == 7 || code == 10)) {
        const qsizetype folderBytes = code == 1 ? 0 : folderPartUtf8.size();
        char* p = out.Reserve(folderBytes + name.size());
        if (folderBytes > 0)
            std::memcpy(p, folderPartUtf8.data(), std::size_t(folderBytes));
        NarrowAscii(Units(name), name.size(), p + folderBytes);
        out.SetEnd(p + folderBytes + name.size());
        return true;
    }
    return detail::AppendOtherFileItemUtf8(out, format, folderPartUtf8, name, code, size,
                                           printableAscii);
}

/// True for the file codes that show the folder path (relative or full).
bool FileCodeShowsPath(int code);
/// True for the file codes that show the size.
bool FileCodeShowsSize(int code);

/// SizeText(true, 1048576) == "1.00 MB"; SizeText(false, 0) == "0      "
QString SizeText(bool compact, std::int64_t size);
QString SizeText(const TLineFormat& format, bool compact, std::int64_t size);

/// bytes / 2^shift with 0 to 3 decimals, grouped like the size texts through QLocale():
/// BinaryUnitsText(2000398934016, 30, 0) == "1,863"; 0 and less give 0.
QString BinaryUnitsText(std::int64_t bytes, int shift, int decimals);

/// "Files: 120 (35.2 MB; in 8 folders)   Skipped: 3   Time: 1.2 s"
QString StatisticsText(int folders, int files, int skipped, std::int64_t size,
                       std::int64_t elapsedMs);
QString StatisticsText(const TLineFormat& format, int folders, int files, int skipped,
                       std::int64_t size, std::int64_t elapsedMs);

} // namespace dirka
