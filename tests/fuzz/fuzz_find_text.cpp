// The text searches against naive ones: every position compared unit by unit (exactly, or after
// case folding), from every start. Texts run to a thousand units, so the eight-at-a-time
// forward scan meets hits in every lane and near both ends of the text.

#include "core/text/char_tables.h"
#include "core/text/compact_text.h"
#include "core/text/find_text.h"
#include "core/text/text_utils.h"

#include "fuzz_support.h"

#include <vector>

using namespace dirka;

namespace {

// hits[i]: the pattern occurs at the 0-based position i.
std::vector<bool> occurrences(QStringView pattern, QStringView text, bool caseSensitive,
                              bool wholeWords)
{
    const qsizetype n = pattern.size();
    const qsizetype m = text.size();
    std::vector<bool> hits(std::size_t(m + 1), false);
    for (qsizetype i = 0; n > 0 && i + n <= m; ++i) {
        bool same = true;
        for (qsizetype j = 0; j < n && same; ++j) {
            const char16_t a = pattern[j].unicode();
            const char16_t b = text[i + j].unicode();
            same = caseSensitive ? a == b : FoldChar(a) == FoldChar(b);
        }
        if (same && wholeWords) {
            same = (i == 0 || !IsWordChar(text[i - 1].unicode())) &&
                   (i + n == m || !IsWordChar(text[i + n].unicode()));
        }
        hits[std::size_t(i)] = same;
    }
    return hits;
}

// For every 0-based i (and one past the end): the first hit at or after i, the last at or before
// it; -1 for none.
struct THitIndex {
    explicit THitIndex(const std::vector<bool>& hits)
        : Next(hits.size() + 1, -1), Previous(hits.size(), -1)
    {
        for (qsizetype i = qsizetype(hits.size()) - 1; i >= 0; --i)
            Next[std::size_t(i)] = hits[std::size_t(i)] ? i : Next[std::size_t(i + 1)];
        for (qsizetype i = 0; i < qsizetype(hits.size()); ++i)
            Previous[std::size_t(i)] = hits[std::size_t(i)] ? i
                                       : i > 0              ? Previous[std::size_t(i - 1)]
                                                            : -1;
    }
    qsizetype FirstFrom(qsizetype i) const
    {
        return i >= qsizetype(Next.size()) ? -1 : Next[std::size_t(std::max<qsizetype>(i, 0))];
    }
    qsizetype LastFrom(qsizetype i) const
    {
        return i < 0 ? -1 : Previous[std::size_t(std::min(i, qsizetype(Previous.size()) - 1))];
    }
    std::vector<qsizetype> Next;
    std::vector<qsizetype> Previous;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzsupport::TInput input(data, size);
    const std::uint8_t flags = input.Byte();
    const bool caseSensitive = flags & 1;
    const bool wholeWords = flags & 2;
    const qsizetype selectionLow = input.Byte();
    const qsizetype selection = selectionLow | qsizetype(input.Byte()) << 8;
    const qsizetype selectionLength = input.Byte() % 4;
    const QString pattern = input.Text();
    QString text = input.Text();
    // A short text is repeated so the eight-unit scan has blocks to work on.
    const int copies = flags >> 4;
    for (int k = 0; k < copies && text.size() < 300; ++k)
        text += text;
    if (text.size() > 1000 || pattern.size() > 64)
        return 0;
    const qsizetype m = text.size();

    const THitIndex plain(occurrences(pattern, text, caseSensitive, false));
    const THitIndex words(occurrences(pattern, text, caseSensitive, wholeWords));
    qsizetype count = 0;
    for (bool hit : occurrences(pattern, text, true, false))
        count += hit;
    FUZZ_CHECK(CountOccurrences(pattern, text) == count);

    for (qsizetype start = -1; start <= m + 2; ++start) {
        const qsizetype forward = plain.FirstFrom(start - 1) + 1;
        const qsizetype backward = start < 1 ? 0 : plain.LastFrom(start - 1) + 1;
        if (caseSensitive) {
            FUZZ_CHECK(PosExact(pattern, text, start) == (start < 1 ? 0 : forward));
            FUZZ_CHECK(PosBackExact(pattern, text, start) == backward);
        } else {
            FUZZ_CHECK(PosNoCase(pattern, text, start) == (start < 1 ? 0 : forward));
            FUZZ_CHECK(PosBackNoCase(pattern, text, start) == backward);
        }
        if (start >= 1) {
            FUZZ_CHECK(FindTextForward(pattern, text, caseSensitive, start, wholeWords) ==
                       words.FirstFrom(start - 1) + 1);
            FUZZ_CHECK(FindTextBackward(pattern, text, caseSensitive, start, wholeWords) ==
                       words.LastFrom(start - 1) + 1);
        }
    }

    // Find Next starts one past a selection's start (at the caret without one), Find Back just
    // before it; either wraps around once, with a beep, when nothing lies that way.
    const qsizetype caret = std::min(selection, m);
    const TFindOptions options{caseSensitive, wholeWords, bool(flags & 4)};
    const TFindStep step = FindStep(text, pattern, caret, selectionLength, options);
    qsizetype expected = -1;
    bool beep = false;
    if (!options.Backward) {
        expected = words.FirstFrom(caret + (selectionLength > 0 ? 1 : 0));
        if (expected < 0) {
            beep = true;
            expected = words.FirstFrom(0);
        }
    } else {
        expected = words.LastFrom(caret - 1);
        if (expected < 0) {
            beep = true;
            expected = words.LastFrom(m);
        }
    }
    FUZZ_CHECK(step.Start == expected && step.Beep == beep);

    // The same text held as lines, searched a line at a time.
    TCompactText lines;
    for (const QString& line : text.split(QStringLiteral("\r\n")))
        lines.Append(line);
    const TFindStep byLines = FindStep(lines, pattern, caret, selectionLength, options);
    FUZZ_CHECK(byLines.Start == step.Start && byLines.Beep == step.Beep);
    return 0;
}
