// The XHTML page for arbitrary lines and paths: it parses as XML; its <pre> block reads back as
// the lines, one per line, with only the units XML cannot carry shown as U+FFFD; every line
// with an item to link holds one link and no other line does; a link address uses only the
// characters a URI path may hold and percent-decodes to the path's file-system bytes; the
// version and site texts read back from their attributes.

#include "core/listing/result_line_store.h"
#include "core/listing/result_text.h"
#include "core/output/html_export.h"
#include "core/output/m3u8_export.h"
#include "core/text/file_names.h"

#include "fuzz_support.h"

#include <QStringDecoder>
#include <QXmlStreamReader>

#include <algorithm>
#include <cctype>
#include <optional>

using namespace dirka;

namespace {

// A text as an XML reader gives it back: units that XML 1.0 does not allow, lone surrogates
// and line breaks (which would split a line of the page) as U+FFFD.
QString shown(QStringView text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
        } else if ((c.unicode() < 0x20 && c != u'\t') || c.unicode() >= 0xFFFE || c.isSurrogate()) {
            out += QChar(0xFFFD);
        } else {
            out += c;
        }
    }
    return out;
}

// The bytes a link address stands for, or nothing when it holds a character that a URI path
// may not hold raw.
std::optional<QByteArray> percentDecoded(QStringView address)
{
    const auto hex = [](QChar c) { return c.unicode() < 0x80 && std::isxdigit(c.unicode()); };
    static const QByteArray allowed = "-._~/!$&'()*+,;=@:";
    QByteArray bytes;
    for (qsizetype i = 0; i < address.size(); ++i) {
        const char16_t c = address[i].unicode();
        if (c == u'%' && i + 2 < address.size() && hex(address[i + 1]) && hex(address[i + 2])) {
            bytes += char(address.sliced(i + 1, 2).toUInt(nullptr, 16));
            i += 2;
        } else if (c < 0x80 && (std::isalnum(c) || allowed.contains(char(c)))) {
            bytes += char(c);
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzsupport::TInput input(data, size);
    const std::uint8_t flags = input.Byte();
    TResultText result;
    THtmlExportOptions options;
    options.Lines = &result;
    options.IsRelative = flags & 1;
    options.IsLinkFolders = flags & 2;
    options.ListedLocation = input.Text();
    options.Prefix = input.Text();
    options.SiteRoot = input.Text();
    options.FileVersion = input.Text();
    options.LanguageCode = input.Text();
    options.Created = QDate(2024, 6, 1);

    // Then lines: a line, a byte choosing whether it shows an item and where its path splits
    // into folder and name, the path.
    QStringList paths;
    while (!input.AtEnd() && result.LineCount() < 200) {
        const QString line = input.Text();
        const std::uint8_t split = input.Byte();
        const QString path = split & 1 ? input.Text() : QString();
        if (path.isEmpty()) {
            result.AppendLine(line);
        } else {
            const qsizetype folderLength = std::min<qsizetype>(split >> 1, path.size());
            result.AppendItemLine(line, {QStringView(path).first(folderLength),
                                         QStringView(path).sliced(folderLength)});
        }
        paths.append(path);
    }

    // The page's and the playlist's pieces made from a path's bytes, as the command line makes
    // them, are those made from its text.
    const THtmlPageEncoder builder(options);
    for (qsizetype i = 0; i < result.LineCount(); ++i) {
        const QStringView line = result.Line(i);
        const QString& path = paths[i];
        const QByteArray pathBytes = EncodeFileName(path);
        QByteArray asciiLine;
        for (const QChar c : line)
            asciiLine += char(c.unicode());
        const bool ascii = !line.isEmpty() && std::all_of(line.begin(), line.end(), [](QChar c) {
            return c.unicode() < 0x80;
        });
        QByteArray fromText;
        QByteArray fromBytes;
        builder.AppendLine(fromText, line, path);
        builder.AppendLine(fromBytes, line, path, pathBytes, ascii ? asciiLine : QByteArray());
        FUZZ_CHECK(fromText == fromBytes);
        QStringList leftOutText;
        QStringList leftOutBytes;
        fromText.clear();
        fromBytes.clear();
        FUZZ_CHECK(AppendM3u8Entry(fromText, path, leftOutText) ==
                   AppendM3u8Entry(fromBytes, path, pathBytes, leftOutBytes));
        FUZZ_CHECK(fromText == fromBytes && leftOutText == leftOutBytes);
    }

    const QByteArray page = BuildHtmlPage(options);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)utf8(page);
    FUZZ_CHECK(!utf8.hasError() && !page.startsWith("\xEF\xBB\xBF"));

    QXmlStreamReader reader(page);
    QString preText;
    int depthInPre = 0;
    qsizetype links = 0;
    qsizetype lastLinkLine = -1;
    QString generator;
    QString footerLink;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const QStringView name = reader.name();
            if (depthInPre > 0) {
                FUZZ_CHECK(name == u"a" && depthInPre == 1);
                // The line the link is on: the one that ends at the next line break.
                const qsizetype lineIndex = preText.count(u'\n') - 1;
                FUZZ_CHECK(lineIndex > lastLinkLine && lineIndex < paths.size());
                lastLinkLine = lineIndex;
                const QString& path = paths[lineIndex];
                FUZZ_CHECK(!path.isEmpty() && (options.IsLinkFolders || !path.endsWith(u'/')));
                const QString href = reader.attributes().value(QStringLiteral("href")).toString();
                const bool relative = options.IsRelative && !options.ListedLocation.isEmpty() &&
                                      path.startsWith(options.ListedLocation);
                QStringView encoded;
                QByteArray expected;
                if (relative) {
                    const QString prefix = shown(options.Prefix);
                    expected =
                        EncodeFileName(QStringView(path).sliced(options.ListedLocation.size()));
                    FUZZ_CHECK(href.startsWith(prefix));
                    encoded = QStringView(href).sliced(prefix.size());
                    if (prefix.isEmpty() && expected.isEmpty()) {
                        FUZZ_CHECK(encoded == u"./"); // never an empty address
                        encoded = {};
                    }
                } else {
                    expected = EncodeFileName(path);
                    if (!path.startsWith(u'/'))
                        expected.prepend('/');
                    FUZZ_CHECK(href.startsWith(u"file://"));
                    encoded = QStringView(href).sliced(7);
                }
                const std::optional<QByteArray> decoded = percentDecoded(encoded);
                FUZZ_CHECK(decoded && *decoded == expected);
                ++links;
            }
            if (name == u"pre")
                depthInPre = 1;
            else if (depthInPre > 0)
                ++depthInPre;
            if (name == u"meta" &&
                reader.attributes().value(QStringLiteral("name")) == u"generator")
                generator = reader.attributes().value(QStringLiteral("content")).toString();
            if (name == u"a" && depthInPre == 0)
                footerLink = reader.attributes().value(QStringLiteral("href")).toString();
        } else if (reader.isEndElement() && depthInPre > 0) {
            --depthInPre;
        } else if (reader.isCharacters() && depthInPre > 0) {
            preText += reader.text();
        }
    }
    FUZZ_CHECK(!reader.hasError());

    QString expectedText = QStringLiteral("\n");
    qsizetype linked = 0;
    for (qsizetype i = 0; i < result.LineCount(); ++i) {
        expectedText += shown(result.Line(i)) + u'\n';
        linked += !paths[i].isEmpty() && (options.IsLinkFolders || !paths[i].endsWith(u'/'));
    }
    FUZZ_CHECK(preText.remove(u'\r') == expectedText);
    FUZZ_CHECK(links == linked);
    FUZZ_CHECK(generator ==
               u"Dirka " + shown(options.FileVersion) + u"; " + shown(options.SiteRoot));
    FUZZ_CHECK(footerLink ==
               shown(options.SiteRoot) + shown(options.LanguageCode) + u"_Dirka.html");
    return 0;
}
