#include "core/text/find_text.h"

#include <algorithm>

#include "core/text/text_utils.h"

namespace dirka {

namespace {

bool acceptedAsWord(QStringView pattern, QStringView text, qsizetype p, bool caseSensitive)
{
    return MatchAt(pattern, 1, text, p, pattern.size(), caseSensitive, true);
}

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

} // namespace dirka
