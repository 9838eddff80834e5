#include "core/settings/settings_fields.h"

namespace dirka {

namespace {

TSettingsField integer(const char* name, std::function<int&(TSettings&)> ref)
{
    return {QString::fromLatin1(name), TValueKind::Integer, std::move(ref), {}, {}};
}

TSettingsField boolean(const char* name, std::function<bool&(TSettings&)> ref)
{
    return {QString::fromLatin1(name), TValueKind::Boolean, {}, std::move(ref), {}};
}

TSettingsField text(QString name, std::function<QString&(TSettings&)> ref)
{
    return {std::move(name), TValueKind::Text, {}, {}, std::move(ref)};
}

std::vector<TSettingsField> buildFields()
{
    std::vector<TSettingsField> f;
    f.push_back(integer("MaxDepth", [](TSettings& s) -> int& { return s.MaxDepth; }));
    f.push_back(boolean("IsMaxDepth", [](TSettings& s) -> bool& { return s.IsMaxDepth; }));
    f.push_back(boolean("IsHiddenFiles", [](TSettings& s) -> bool& { return s.IsHiddenFiles; }));
    f.push_back(boolean("IsSystemFiles", [](TSettings& s) -> bool& { return s.IsSystemFiles; }));
    f.push_back(boolean("IsClear", [](TSettings& s) -> bool& { return s.IsClear; }));
    f.push_back(boolean("IsCopy", [](TSettings& s) -> bool& { return s.IsCopy; }));
    f.push_back(boolean("IsSound", [](TSettings& s) -> bool& { return s.IsSound; }));
    f.push_back(
        text(QStringLiteral("PathList"), [](TSettings& s) -> QString& { return s.PathList; }));
    f.push_back(
        text(QStringLiteral("PathSave"), [](TSettings& s) -> QString& { return s.PathSave; }));
    f.push_back(integer("Filter", [](TSettings& s) -> int& { return s.Filter; }));
    for (int i = 0; i < FilterCount; ++i) {
        f.push_back(text(QStringLiteral("FilterMask.%1").arg(i + 1),
                         [i](TSettings& s) -> QString& { return s.FilterMask[i]; }));
    }
    f.push_back(integer("S.Preset", [](TSettings& s) -> int& { return s.Style.Preset; }));
    f.push_back(integer("S.Mode", [](TSettings& s) -> int& { return s.Style.Mode; }));
    f.push_back(boolean("S.IsNewLine", [](TSettings& s) -> bool& { return s.Style.IsNewLine; }));
    f.push_back(boolean("S.IsSkip", [](TSettings& s) -> bool& { return s.Style.IsSkip; }));
    f.push_back(boolean("S.IsSummary", [](TSettings& s) -> bool& { return s.Style.IsSummary; }));
    f.push_back(integer("S.Base", [](TSettings& s) -> int& { return s.Style.Base; }));
    f.push_back(integer("S.Folder", [](TSettings& s) -> int& { return s.Style.Folder; }));
    f.push_back(integer("S.File", [](TSettings& s) -> int& { return s.Style.File; }));
    f.push_back(integer("S.Separator", [](TSettings& s) -> int& { return s.Style.Separator; }));
    f.push_back(integer("S.IndentMode", [](TSettings& s) -> int& { return s.Style.IndentMode; }));
    f.push_back(integer("S.IndentSpace", [](TSettings& s) -> int& { return s.Style.IndentSpace; }));
    f.push_back(integer("S.SortMode", [](TSettings& s) -> int& { return s.Style.SortMode; }));
    f.push_back(boolean("S.IsHeader", [](TSettings& s) -> bool& { return s.Style.IsHeader; }));
    f.push_back(integer("S.Header", [](TSettings& s) -> int& { return s.Style.Header; }));
    return f;
}

} // namespace

const std::vector<TSettingsField>& SettingsFields()
{
    static const std::vector<TSettingsField> fields = buildFields();
    return fields;
}

const TSettingsField* FindSettingsField(QStringView name)
{
    for (const TSettingsField& field : SettingsFields())
        if (field.Name == name)
            return &field;
    return nullptr;
}

bool SetFieldFromText(const TSettingsField& field, TSettings& settings, QStringView value)
{
    switch (field.Kind) {
    case TValueKind::Text:
        field.Text(settings) = value.toString();
        return true;
    case TValueKind::Boolean:
        if (value != u"0" && value != u"1")
            return false;
        field.Boolean(settings) = value == u"1";
        return true;
    case TValueKind::Integer: {
        bool ok = false;
        const int number = value.toInt(&ok, 10);
        if (!ok)
            return false;
        field.Integer(settings) = number;
        return true;
    }
    }
    return false;
}

void ClampStyleRanges(TSettings& settings)
{
    TListStyle& style = settings.Style;
    const TListStyle defaults;
    const auto inRange = [](int& value, int last, int fallback) {
        if (value < 0 || value > last)
            value = fallback;
    };
    inRange(style.Preset, CustomPreset, defaults.Preset);
    inRange(style.Mode, 1, defaults.Mode);
    inRange(style.Base, LastFolderCode, defaults.Base);
    inRange(style.Folder, LastFolderCode, defaults.Folder);
    inRange(style.File, LastFileCode, defaults.File);
    inRange(style.Separator, 1, defaults.Separator);
    inRange(style.IndentMode, 2, defaults.IndentMode);
    inRange(style.IndentSpace, MaxIndentSpace, defaults.IndentSpace);
    inRange(style.SortMode, LastSortCode, defaults.SortMode);
    inRange(style.Header, LastHeaderCode, defaults.Header);
}

} // namespace dirka
