#include "core/text/masks.h"

#include "core/text/text_utils.h"

namespace dirka {

QStringList SplitMasks(QStringView maskText)
{
    QStringList masks;
    for (QStringView piece : maskText.split(u'|'))
        masks.append(piece.toString());
    if (!masks.isEmpty() && masks.last().isEmpty())
        masks.removeLast();
    return masks;
}

bool MatchMask(QStringView name, QStringView mask)
{
    const qsizetype star1 = mask.indexOf(u'*');
    if (star1 < 0)
        return name.size() == mask.size() && SameCharsNoCase(name, mask, name.size());
    const qsizetype star2 = mask.indexOf(u'*', star1 + 1);
    const QStringView prefix = mask.first(star1);
    if (star2 < 0) {
        const QStringView suffix = mask.sliced(star1 + 1);
        return name.size() >= prefix.size() + suffix.size() &&
               SameCharsNoCase(name, prefix, prefix.size()) &&
               SameCharsNoCase(name.last(suffix.size()), suffix, suffix.size());
    }
    const QStringView middle = mask.sliced(star1 + 1, star2 - star1 - 1);
    const QStringView suffix = mask.sliced(star2 + 1);
    if (name.size() < prefix.size() + middle.size() + suffix.size() ||
        !SameCharsNoCase(name, prefix, prefix.size()) ||
        !SameCharsNoCase(name.last(suffix.size()), suffix, suffix.size()))
        return false;
    const qsizetype found = PosExact(middle, name, star1 + 1);
    return found > 0 && found <= name.size() - suffix.size() - middle.size() + 1;
}

bool PassesFilter(QStringView name, bool isSkipList, const QStringList& masks)
{
    bool matched = false;
    for (const QString& mask : masks) {
        if (MatchMask(name, mask)) {
            matched = true;
            break;
        }
    }
    return isSkipList ? !matched : matched;
}

std::optional<bool> FilterAnswerForEveryName(bool isSkipList, const QStringList& masks)
{
    if (masks.isEmpty())
        return isSkipList;
    if (masks.contains(QStringLiteral("*")))
        return !isSkipList;
    return std::nullopt;
}

} // namespace dirka
