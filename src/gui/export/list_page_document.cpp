#include "gui/export/list_page_document.h"

#include "core/output/text_file_writer.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <optional>

namespace dirka {

namespace {

constexpr QByteArrayView PreOpen("<pre>\r\n");
constexpr QByteArrayView PreClose("</pre>");
constexpr QByteArrayView LineEnd("\r\n");
constexpr QByteArrayView GeneratorMark("<meta name=\"generator\" content=\"Dirka ");
constexpr QByteArrayView LinkOpen("<a href=\"");
constexpr QByteArrayView LinkAddressEnd("\">");
constexpr QByteArrayView LinkClose("</a>");
// A plain part and a link: the parser shows which formats it gives each, in place.
constexpr QByteArrayView ReferenceLine("r<a href=\"r\">r</a>");
constexpr QStringView ReferenceText(u"rr");
constexpr qsizetype MaxEntityLength = 10;

struct TPageParts {
    QByteArrayView Head; // up to and with "<pre>" CR LF
    QByteArrayView Body; // the block's lines, each followed by CR LF
    QByteArrayView Tail; // from "</pre>" on
};

std::optional<TPageParts> splitPage(QByteArrayView page)
{
    const qsizetype pre = page.indexOf(PreOpen);
    if (pre < 0 || page.first(pre).indexOf(GeneratorMark) < 0)
        return std::nullopt;
    const qsizetype bodyStart = pre + PreOpen.size();
    const qsizetype close = page.lastIndexOf(PreClose);
    if (close < bodyStart)
        return std::nullopt;
    const QByteArrayView body = page.sliced(bodyStart, close - bodyStart);
    if (!body.isEmpty() && !body.endsWith(LineEnd))
        return std::nullopt;
    return TPageParts{page.first(bodyStart), body, page.sliced(close)};
}

// The entities the export writes, and the other common ones; 0 for anything else.
char32_t entityCode(QStringView name)
{
    if (name == u"amp")
        return U'&';
    if (name == u"lt")
        return U'<';
    if (name == u"gt")
        return U'>';
    if (name == u"quot")
        return U'"';
    if (name == u"apos")
        return U'\'';
    if (!name.startsWith(u'#') || name.size() < 2)
        return 0;
    const bool hex = name[1] == u'x' || name[1] == u'X';
    bool ok = false;
    const uint code = name.sliced(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
    if (!ok || code == 0 || code > 0x10FFFF || QChar::isSurrogate(code))
        return 0;
    return char32_t(code);
}

// Element content, or with forbidden '"' an attribute value, as the parser reads it. False
// for what the export never writes there; the parser then reads the whole page.
bool decodeText(QByteArrayView bytes, QString& out, char16_t forbidden)
{
    out = QString::fromUtf8(bytes);
    bool hasEntity = false;
    for (const QChar c : std::as_const(out)) {
        if (c == u'<' || c == forbidden || c == u'\r' || c == u'\n')
            return false;
        hasEntity = hasEntity || c == u'&';
    }
    if (!hasEntity)
        return true;
    QString decoded;
    decoded.reserve(out.size());
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (out[i] != u'&') {
            decoded.append(out[i]);
            continue;
        }
        const qsizetype semicolon = out.indexOf(u';', i + 1);
        if (semicolon < 0 || semicolon - i > MaxEntityLength)
            return false;
        const char32_t code = entityCode(QStringView(out).sliced(i + 1, semicolon - i - 1));
        if (code == 0)
            return false;
        decoded.append(QString::fromUcs4(&code, 1));
        i = semicolon;
    }
    out = std::move(decoded);
    return true;
}

// One line of the block: text, optionally followed by one link that runs to the line's end.
struct TLineParts {
    QString Before;
    QString Address;
    QString LinkText;
    bool IsLink = false;
};

bool parseLine(QByteArrayView line, TLineParts& parts)
{
    const qsizetype open = line.indexOf(LinkOpen);
    parts.IsLink = open >= 0;
    if (!parts.IsLink)
        return decodeText(line, parts.Before, u'<');
    const qsizetype addressStart = open + LinkOpen.size();
    const qsizetype addressEnd = line.indexOf('"', addressStart);
    if (addressEnd < 0 || !line.sliced(addressEnd).startsWith(LinkAddressEnd))
        return false;
    const qsizetype textStart = addressEnd + LinkAddressEnd.size();
    if (!line.endsWith(LinkClose) || line.size() - LinkClose.size() < textStart)
        return false;
    return decodeText(line.first(open), parts.Before, u'<') &&
           decodeText(line.sliced(addressStart, addressEnd - addressStart), parts.Address, u'"') &&
           decodeText(line.sliced(textStart, line.size() - LinkClose.size() - textStart),
                      parts.LinkText, u'<');
}

class TLineReader {
public:
    explicit TLineReader(QByteArrayView body) : m_body(body) {}
    QByteArrayView Next()
    {
        const qsizetype end = m_body.indexOf(LineEnd, m_at);
        const QByteArrayView line = m_body.sliced(m_at, end - m_at);
        m_at = end + LineEnd.size();
        return line;
    }

private:
    QByteArrayView m_body;
    qsizetype m_at = 0;
};

QByteArrayView lastLineOf(QByteArrayView body)
{
    const QByteArrayView lines = body.chopped(LineEnd.size());
    const qsizetype before = lines.lastIndexOf(LineEnd);
    return before < 0 ? lines : lines.sliced(before + LineEnd.size());
}

QByteArray escapedContent(const QString& text)
{
    return text.toHtmlEscaped().toUtf8();
}

struct TFormats {
    QTextBlockFormat Block;
    QTextCharFormat BlockChar;
    QTextCharFormat Plain;
    QTextCharFormat Link;
};

// The formats of the reference line, the block before the last line of the <pre> block.
std::optional<TFormats> referenceFormats(const QTextBlock& reference)
{
    if (!reference.isValid() || reference.text() != ReferenceText)
        return std::nullopt;
    TFormats formats{reference.blockFormat(), reference.charFormat(), {}, {}};
    for (auto it = reference.begin(); !it.atEnd(); ++it) {
        const QTextCharFormat format = it.fragment().charFormat();
        (format.isAnchor() ? formats.Link : formats.Plain) = format;
    }
    if (!formats.Link.isAnchor() || !formats.Plain.isValid())
        return std::nullopt;
    return formats;
}

// Inserts one line's text; carry becomes the format of its last character, which the parser
// gives the line break after it.
void insertLine(QTextCursor& cursor, const TLineParts& parts, const TFormats& formats,
                QTextCharFormat& carry)
{
    if (!parts.Before.isEmpty()) {
        cursor.insertText(parts.Before, formats.Plain);
        carry = formats.Plain;
    }
    if (parts.IsLink && !parts.LinkText.isEmpty()) {
        QTextCharFormat link = formats.Link;
        link.setAnchorHref(parts.Address);
        cursor.insertText(parts.LinkText, link);
        carry = link;
    }
}

} // namespace

QString CutNoticeText(qsizetype shown, qsizetype total)
{
    return QStringLiteral("[The view ends here: it shows the first %1 of %2 lines. The file "
                          "holds them all.]")
        .arg(shown)
        .arg(total);
}

bool IsListPage(QByteArrayView page)
{
    const qsizetype pre = page.indexOf(PreOpen);
    return pre >= 0 && page.first(pre).indexOf(GeneratorMark) >= 0;
}

bool LoadListPage(QTextDocument& doc, QByteArrayView page, qsizetype maxLines,
                  const TLoadProgress& progress)
{
    const std::optional<TPageParts> parts = splitPage(page);
    if (!parts)
        return false;
    const qsizetype total = parts->Body.count(LineEnd);
    const qsizetype shown = std::clamp<qsizetype>(maxLines, 0, total);
    const bool cut = shown < total;
    const qsizetype count = shown + (cut ? 1 : 0);
    if (count < 3)
        return false;

    // The parser reads the page around the block with its first and last line, and the
    // reference line in between; the other lines go where the reference line was.
    TLineReader reader(parts->Body);
    const QByteArray last =
        cut ? escapedContent(CutNoticeText(shown, total)) : lastLineOf(parts->Body).toByteArray();
    QByteArray frame;
    frame.reserve(parts->Head.size() + parts->Tail.size() + last.size() + 256);
    frame.append(parts->Head).append(reader.Next()).append(LineEnd);
    frame.append(ReferenceLine).append(LineEnd);
    frame.append(last).append(LineEnd).append(parts->Tail);
    doc.setUndoRedoEnabled(false);
    doc.setHtml(QString::fromUtf8(frame));

    QTextBlock lastBlock = doc.lastBlock();
    while (lastBlock.isValid() && !lastBlock.blockFormat().nonBreakableLines())
        lastBlock = lastBlock.previous();
    const QTextBlock reference = lastBlock.isValid() ? lastBlock.previous() : QTextBlock();
    const std::optional<TFormats> formats = referenceFormats(reference);
    if (!formats)
        return false;

    QTextCursor cursor(reference);
    cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
    QTextCharFormat carry = formats->BlockChar;
    if (progress)
        progress(0, count);
    TLineParts line;
    for (qsizetype i = 1; i + 1 < count; ++i) {
        if (progress && i % ExportProgressInterval == 0)
            progress(i, count);
        if (i > 1)
            cursor.insertBlock(formats->Block, carry);
        if (!parseLine(reader.Next(), line))
            return false;
        insertLine(cursor, line, *formats, carry);
    }
    cursor.movePosition(QTextCursor::NextBlock);
    cursor.setBlockCharFormat(carry);
    if (progress)
        progress(count, count);
    return true;
}

} // namespace dirka
