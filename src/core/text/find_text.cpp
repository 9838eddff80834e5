#include "core/text/find_text.h"

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

TFindStep FindStep(QStringView text, QStringView pattern, qsizetype selectionStart,
                   qsizetype selectionLength, TFindOptions options)
{
    const bool cs = options.CaseSensitive;
    const bool ww = options.WholeWords;
    qsizetype found = 0;
    if (options.Backward) {
        found = FindTextBackward(pattern, text, cs, selectionStart, ww);
        if (found > 0)
            return {found - 1, false};
        found = FindTextBackward(pattern, text, cs, text.size(), ww);
    } else {
        const qsizetype start = selectionStart + 1 + (selectionLength > 0 ? 1 : 0);
        found = FindTextForward(pattern, text, cs, start, ww);
        if (found > 0)
            return {found - 1, false};
        found = FindTextForward(pattern, text, cs, 1, ww);
    }
    return {found - 1, true};
}

} // namespace dirka
