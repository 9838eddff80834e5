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

} // namespace dirka
