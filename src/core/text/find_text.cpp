#include "core/text/find_text.h"

#include <algorithm>

#include "core/text/compact_text.h"
#include "core/text/text_utils.h"

namespace dirka {

namespace {

bool acceptedAsWord(QStringView pattern, QStringView text, qsizetype p, bool caseSensitive)
{
    return MatchAt(pattern, 1, text, p, pattern.size(), caseSensitive, true);
}

// Searches lines joined by CR LF a line at a time. A pattern without a line break cannot run
// over one, and a line break is no word character, so a line's ends are the same word bounds
// as in the whole text.
class TLineSearch {
public:
    TLineSearch(const TCompactText& text, QStringView pattern, TFindOptions options)
        : m_text(text), m_pattern(pattern), m_options(options)
    {
    }

    /// The first occurrence beginning in [from, before), or -1.
    qsizetype First(qsizetype from, qsizetype before)
    {
        if (m_text.LineCount() == 0)
            return -1;
        qsizetype index = m_text.LineFromOffset(from);
        qsizetype start = m_text.LineStart(index);
        for (; index < m_text.LineCount() && start < before; ++index) {
            const QStringView line = m_text.Line(index, m_line);
            const qsizetype column = std::max<qsizetype>(0, from - start);
            if (column <= line.size()) {
                const qsizetype found = FindTextForward(m_pattern, line, m_options.CaseSensitive,
                                                        column + 1, m_options.WholeWords);
                if (found > 0)
                    return start + found - 1 < before ? start + found - 1 : -1;
            }
            start += line.size() + 2;
        }
        return -1;
    }

    /// The last occurrence beginning in [notBefore, upTo], or -1.
    qsizetype Last(qsizetype upTo, qsizetype notBefore)
    {
        if (m_text.LineCount() == 0 || upTo < 0)
            return -1;
        qsizetype index = m_text.LineFromOffset(upTo);
        qsizetype start = m_text.LineStart(index);
        for (;;) {
            const QStringView line = m_text.Line(index, m_line);
            const qsizetype column = std::min(line.size(), upTo - start + 1);
            const qsizetype found = FindTextBackward(m_pattern, line, m_options.CaseSensitive,
                                                     column, m_options.WholeWords);
            if (found > 0)
                return start + found - 1 >= notBefore ? start + found - 1 : -1;
            if (index == 0 || start <= notBefore)
                return -1;
            --index;
            start -= m_text.LineLength(index) + 2;
        }
    }

private:
    const TCompactText& m_text;
    QStringView m_pattern;
    TFindOptions m_options;
    QString m_line;
};

} // namespace

qsizetype FindTextForward(QStringView pattern, QStringView text, bool caseSensitive,
                          qsizetype start, bool wholeWords)
{
    for (;;) {
        const qsizetype p =
            caseSensitive ? PosExact(pattern, text, start) : PosNoCase(pattern, text, start);
        if (p == 0 || !wholeWords || acceptedAsWord(pattern, text, p, caseSensitive))
            return p;
        start = p + 1;
    }
}

qsizetype FindTextBackward(QStringView pattern, QStringView text, bool caseSensitive,
                           qsizetype start, bool wholeWords)
{
    for (;;) {
        const qsizetype p = caseSensitive ? PosBackExact(pattern, text, start)
                                          : PosBackNoCase(pattern, text, start);
        if (p == 0 || !wholeWords || acceptedAsWord(pattern, text, p, caseSensitive))
            return p;
        start = p - 1;
    }
}

// The wrapped search only needs the part the first search did not cover, so a text without the
// pattern is read once, not twice. The part keeps one unit beyond the occurrences it may hold,
// so the whole-word test sees the same neighbours as in the whole text; a hit outside that
// range was already ruled out by the first search.
TFindStep FindStep(QStringView text, QStringView pattern, qsizetype selectionStart,
                   qsizetype selectionLength, TFindOptions options)
{
    const bool cs = options.CaseSensitive;
    const bool ww = options.WholeWords;
    const qsizetype n = pattern.size();
    if (options.Backward) {
        const qsizetype start = selectionStart; // occurrences beginning at 1..start
        if (const qsizetype found = FindTextBackward(pattern, text, cs, start, ww))
            return {found - 1, false};
        const qsizetype skipped = std::max<qsizetype>(0, start - 1);
        const QStringView rest = text.sliced(std::min(skipped, text.size()));
        const qsizetype found = FindTextBackward(pattern, rest, cs, rest.size(), ww);
        const qsizetype position = found > 0 ? found + skipped : 0;
        return {position > start ? position - 1 : -1, true};
    }
    const qsizetype start = selectionStart + 1 + (selectionLength > 0 ? 1 : 0);
    if (const qsizetype found = FindTextForward(pattern, text, cs, start, ww))
        return {found - 1, false};
    const QStringView head = text.first(std::min(text.size(), start + n - 1));
    const qsizetype found = FindTextForward(pattern, head, cs, 1, ww);
    return {found > 0 && found < start ? found - 1 : -1, true};
}

TFindStep FindStep(const TCompactText& text, QStringView pattern, qsizetype selectionStart,
                   qsizetype selectionLength, TFindOptions options)
{
    if (pattern.contains(u'\r') || pattern.contains(u'\n'))
        return FindStep(text.Mid(0, text.Size()), pattern, selectionStart, selectionLength,
                        options);
    TLineSearch search(text, pattern, options);
    if (options.Backward) {
        if (const qsizetype found = search.Last(selectionStart - 1, 0); found >= 0)
            return {found, false};
        return {search.Last(text.Size() - 1, selectionStart), true};
    }
    const qsizetype start = selectionStart + (selectionLength > 0 ? 1 : 0);
    if (const qsizetype found = search.First(start, text.Size()); found >= 0)
        return {found, false};
    return {search.First(0, start), true};
}

} // namespace dirka
