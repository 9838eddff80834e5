// Mask matching against a plain glob matcher. The rules it mirrors: the first two "*" match any
// run of units (a further "*" is an ordinary character, "?" always is); the text before the
// first star and after the second compares unit by unit after case folding, the text between
// them exactly; two adjacent stars match nothing. A mask list is cut at every "|", an empty last
// piece dropped.

#include "core/text/char_tables.h"
#include "core/text/masks.h"

#include "fuzz_support.h"

#include <vector>

using namespace dirka;

namespace {

struct TToken {
    bool Star = false;
    bool Folded = false; // compares after case folding
    char16_t Unit = 0;
};

// Whether the name matches the tokens, filled in from the ends of both.
bool globMatch(QStringView name, const std::vector<TToken>& tokens)
{
    const qsizetype n = name.size();
    const qsizetype k = qsizetype(tokens.size());
    // matches[t][i]: tokens from t on match the name from i on.
    std::vector<std::vector<bool>> matches(std::size_t(k + 1),
                                           std::vector<bool>(std::size_t(n + 1)));
    matches[std::size_t(k)][std::size_t(n)] = true;
    for (qsizetype t = k - 1; t >= 0; --t) {
        const TToken& token = tokens[std::size_t(t)];
        for (qsizetype i = n; i >= 0; --i) {
            bool m = false;
            if (token.Star) {
                m = matches[std::size_t(t + 1)][std::size_t(i)] ||
                    (i < n && matches[std::size_t(t)][std::size_t(i + 1)]);
            } else if (i < n) {
                const char16_t c = name[i].unicode();
                const bool same =
                    token.Folded ? FoldChar(c) == FoldChar(token.Unit) : c == token.Unit;
                m = same && matches[std::size_t(t + 1)][std::size_t(i + 1)];
            }
            matches[std::size_t(t)][std::size_t(i)] = m;
        }
    }
    return matches[0][0];
}

bool referenceMatch(QStringView name, QStringView mask)
{
    std::vector<TToken> tokens;
    const bool hasMiddle = mask.count(u'*') >= 2;
    int stars = 0;
    for (qsizetype i = 0; i < mask.size(); ++i) {
        if (mask[i] == u'*' && stars < 2) {
            ++stars;
            if (stars == 2 && !tokens.empty() && tokens.back().Star)
                return false; // an empty middle is never found
            tokens.push_back({true, false, 0});
            continue;
        }
        // Units between the two stars compare exactly; with one star, after it is the suffix.
        tokens.push_back({false, !(hasMiddle && stars == 1), mask[i].unicode()});
    }
    return globMatch(name, tokens);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzzsupport::TInput input(data, size);
    const bool isSkipList = input.Flag();
    const QString name = input.Text();
    const QString maskText = input.Text();
    if (name.size() > 300 || maskText.size() > 300)
        return 0; // the reference is quadratic

    QStringList pieces;
    QString piece;
    for (QChar c : maskText) {
        if (c == u'|') {
            pieces.append(piece);
            piece.clear();
        } else {
            piece += c;
        }
    }
    if (!piece.isEmpty())
        pieces.append(piece);
    FUZZ_CHECK(SplitMasks(maskText) == pieces);

    bool anyMatch = false;
    for (const QString& mask : pieces) {
        const bool expected = referenceMatch(name, mask);
        FUZZ_CHECK(MatchMask(name, mask) == expected);
        anyMatch = anyMatch || expected;
    }
    FUZZ_CHECK(PassesFilter(name, isSkipList, pieces) == (isSkipList ? !anyMatch : anyMatch));
    return 0;
}
