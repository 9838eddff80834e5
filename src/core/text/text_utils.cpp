#include "core/text/text_utils.h"

namespace dirka {

namespace {

bool fitsBoth(QStringView a, QStringView b, qsizetype count)
{
    return count <= a.size() && count <= b.size();
}

// Compares n folded units at a and b; the caller guarantees both hold n units.
bool equalFolded(const char16_t* a, const char16_t* b, qsizetype n,
                 const detail::CharTables& tables)
{
    for (qsizetype i = 0; i < n; ++i)
        if (a[i] != b[i] && tables.fold[a[i]] != tables.fold[b[i]])
            return false;
    return true;
}

// Whether a pattern of length n can start at any position from start on in a text of length m.
bool forwardSearchPossible(qsizetype n, qsizetype m, qsizetype start)
{
    return n > 0 && m >= n && start >= 1 && start <= m - n + 1;
}

} // namespace

QString IntToStrWidth(int value, int width)
{
    return QStringLiteral("%1").arg(value, std::max(width, 0));
}

QString ByteToHex(std::uint8_t value)
{
    const char16_t digits[2] = {char16_t(HexDigits[value >> 4]), char16_t(HexDigits[value & 15])};
    return QString(reinterpret_cast<const QChar*>(digits), 2);
}

QString WordToHex(std::uint16_t value)
{
    return ByteToHex(value >> 8) + ByteToHex(value & 0xFF);
}

QString DWordToHex(std::uint32_t value)
{
    return WordToHex(value >> 16) + WordToHex(value & 0xFFFF);
}

bool SameChars(QStringView a, QStringView b, qsizetype count)
{
    if (count < 0 || !fitsBoth(a, b, count))
        return false;
    return a.first(count) == b.first(count);
}

bool SameCharsNoCase(QStringView a, QStringView b, qsizetype count)
{
    if (count < 0 || !fitsBoth(a, b, count))
        return false;
    return equalFolded(Units(a), Units(b), count, detail::charTables());
}

qsizetype CommonPrefixLength(QStringView a, QStringView b, qsizetype count)
{
    const qsizetype limit = std::min({count, a.size(), b.size()});
    qsizetype n = 0;
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

bool MatchAt(QStringView pattern, qsizetype patternPos, QStringView text, qsizetype textPos,
             qsizetype count, bool caseSensitive, bool wholeWord)
{
    if (count < 1)
        return false;
    if (patternPos < 1 || patternPos > pattern.size() || patternPos + count - 1 > pattern.size())
        return false;
    if (textPos < 1 || textPos > text.size() || textPos + count - 1 > text.size())
        return false;
    if (wholeWord) {
        if (textPos > 1 && IsWordChar(text[textPos - 2].unicode()))
            return false;
        const qsizetype end = textPos + count - 1;
        if (end < text.size() && IsWordChar(text[end].unicode()))
            return false;
    }
    const QStringView a = pattern.sliced(patternPos - 1, count);
    const QStringView b = text.sliced(textPos - 1, count);
    return caseSensitive ? SameChars(a, b, count) : SameCharsNoCase(a, b, count);
}

qsizetype PosExact(QStringView pattern, QStringView text, qsizetype start)
{
    if (!forwardSearchPossible(pattern.size(), text.size(), start))
        return 0;
    return text.indexOf(pattern, start - 1, Qt::CaseSensitive) + 1;
}

qsizetype PosNoCase(QStringView pattern, QStringView text, qsizetype start)
{
    const qsizetype n = pattern.size();
    const qsizetype m = text.size();
    if (!forwardSearchPossible(n, m, start))
        return 0;
    const detail::CharTables& tables = detail::charTables();
    const char16_t* p = Units(pattern);
    const char16_t* t = Units(text);
    const char16_t first = tables.fold[p[0]];
    const qsizetype last = m - n;
    for (qsizetype i = start - 1; i <= last; ++i) {
        if (tables.fold[t[i]] == first && equalFolded(p + 1, t + i + 1, n - 1, tables))
            return i + 1;
    }
    return 0;
}

qsizetype PosBackExact(QStringView pattern, QStringView text, qsizetype start)
{
    const qsizetype n = pattern.size();
    const qsizetype m = text.size();
    if (n == 0 || m < n || start < 1)
        return 0;
    const qsizetype from = std::min(start, m - n + 1) - 1;
    return text.lastIndexOf(pattern, from, Qt::CaseSensitive) + 1;
}

qsizetype PosBackNoCase(QStringView pattern, QStringView text, qsizetype start)
{
    const qsizetype n = pattern.size();
    const qsizetype m = text.size();
    if (n == 0 || m < n || start < 1)
        return 0;
    const detail::CharTables& tables = detail::charTables();
    const char16_t* p = Units(pattern);
    const char16_t* t = Units(text);
    const char16_t first = tables.fold[p[0]];
    for (qsizetype i = std::min(start, m - n + 1) - 1; i >= 0; --i) {
        if (tables.fold[t[i]] == first && equalFolded(p + 1, t + i + 1, n - 1, tables))
            return i + 1;
    }
    return 0;
}

qsizetype CountOccurrences(QStringView pattern, QStringView text)
{
    if (pattern.size() == 1)
        return text.count(pattern[0], Qt::CaseSensitive);
    qsizetype count = 0;
    for (qsizetype p = PosExact(pattern, text, 1); p > 0; p = PosExact(pattern, text, p + 1))
        ++count;
    return count;
}

QString GetField(int index, QStringView text, QChar delimiter, bool trim)
{
    qsizetype fieldStart = 0;
    for (int i = 0; i < index; ++i) {
        const qsizetype d = text.indexOf(delimiter, fieldStart);
        if (d < 0)
            return QString();
        fieldStart = d + 1;
    }
    qsizetype fieldEnd = text.indexOf(delimiter, fieldStart);
    if (fieldEnd < 0)
        fieldEnd = text.size();
    const QStringView field = text.sliced(fieldStart, fieldEnd - fieldStart);
    return trim ? TrimText(field) : field.toString();
}

QString ReplaceAll(QStringView pattern, QStringView replacement, QStringView text)
{
    QString result = text.toString();
    if (pattern.isEmpty() || pattern == replacement)
        return result;
    // Left to right without overlap: text that a replacement inserted is never searched again.
    return result.replace(pattern.toString(), replacement.toString(), Qt::CaseSensitive);
}

QString TrimText(QStringView text)
{
    const auto trimmable = [](QChar c) {
        return IsWhiteSpace(c.unicode()) || IsControlChar(c.unicode());
    };
    qsizetype end = text.size();
    while (end > 0 && trimmable(text[end - 1]))
        --end;
    qsizetype begin = 0;
    while (begin < end && trimmable(text[begin]))
        ++begin;
    return text.sliced(begin, end - begin).toString();
}

QString ParentFolderName(QStringView path)
{
    const qsizetype b = path.lastIndexOf(QChar(PathDelimiter));
    if (b < 0)
        return QString();
    const qsizetype a = b > 0 ? path.lastIndexOf(QChar(PathDelimiter), b - 1) : -1;
    return path.sliced(a + 1, b - a - 1).toString();
}

QString IncludeTrailingChar(QStringView text, QChar c)
{
    if (text.endsWith(c))
        return text.toString();
    return text.toString() + c;
}

} // namespace dirka
