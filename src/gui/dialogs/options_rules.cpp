#include "gui/dialogs/options_rules.h"

#include "core/settings/locations.h"
#include "core/system/file_io.h"
#include "core/text/masks.h"

#include <algorithm>

namespace dirka {

namespace {

bool isExistingLocation(const QString& text, const TInfo& info)
{
    return IsExistingFolder(ResolveLocation(text, info));
}

} // namespace

QString MaskProblem(QStringView mask)
{
    if (mask.contains(u'?'))
        return QStringLiteral("Don't use question mark character (?).");
    if (mask.contains(u'|'))
        return QStringLiteral("Don't use pipe character (|).");
    if (mask.count(u'*') > 2)
        return QStringLiteral("Too many asterisk characters (*).");
    return {};
}

QString CharCountText(QStringView text)
{
    return u'(' + QString::number(text.size()) + u" chars)";
}

bool IsSeparatorMaskText(QStringView maskText)
{
    return maskText == u"|";
}

QStringList MaskRows(QStringView maskText)
{
    return IsSeparatorMaskText(maskText) ? QStringList() : SplitMasks(maskText);
}

QString MaskTextOfRows(const QStringList& rows)
{
    QString text;
    for (const QString& row : rows)
        text += row + u'|';
    return text;
}

QString MaskListCaption(int filter)
{
    return IsSkipListFilter(filter) ? QStringLiteral("Skip &files")
                                    : QStringLiteral("List only &files");
}

int RowAfterDelete(int deleted, int count)
{
    return count == 0 ? -1 : std::min(deleted, count - 1);
}

void ResetOptions(TSettings& settings)
{
    const TSettings defaults;
    settings.MaxDepth = defaults.MaxDepth;
    settings.IsMaxDepth = defaults.IsMaxDepth;
    settings.IsHiddenFiles = defaults.IsHiddenFiles;
    settings.IsSystemFiles = defaults.IsSystemFiles;
    settings.IsClear = defaults.IsClear;
    settings.IsCopy = defaults.IsCopy;
    settings.IsSound = defaults.IsSound;
    settings.PathList = defaults.PathList;
    settings.PathSave = defaults.PathSave;
    settings.Filter = defaults.Filter;
}

TMissingLocation MissingLocation(const TSettings& settings, const TInfo& info)
{
    if (!settings.PathList.isEmpty() && !isExistingLocation(settings.PathList, info))
        return TMissingLocation::PathList;
    if (!isExistingLocation(settings.PathSave, info))
        return TMissingLocation::PathSave;
    return TMissingLocation::None;
}

} // namespace dirka
