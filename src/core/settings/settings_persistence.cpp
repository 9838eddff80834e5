#include "core/settings/settings_persistence.h"

#include "core/settings/settings_fields.h"
#include "core/system/file_io.h"
#include "core/text/text_utils.h"

namespace dirka {

namespace {

void readField(const TSettingsKey* key, const TSettingsField& field, TSettings& settings)
{
    switch (field.Kind) {
    case TValueKind::Integer:
        RegReadInteger(key, field.Name, field.Integer(settings));
        break;
    case TValueKind::Boolean:
        RegReadBool(key, field.Name, field.Boolean(settings));
        break;
    case TValueKind::Text:
        RegReadText(key, field.Name, field.Text(settings));
        break;
    }
}

void writeField(TSettingsKey* key, const TSettingsField& field, TSettings& settings)
{
    switch (field.Kind) {
    case TValueKind::Integer:
        RegWriteInteger(key, field.Name, field.Integer(settings));
        break;
    case TValueKind::Boolean:
        RegWriteBool(key, field.Name, field.Boolean(settings));
        break;
    case TValueKind::Text:
        RegWriteText(key, field.Name, field.Text(settings));
        break;
    }
}

TSaveResult failure(const QString& reason)
{
    return {false, reason};
}

TSaveResult writeFile(const QString& path, const QByteArray& bytes)
{
    try {
        if (const qsizetype slash = path.lastIndexOf(PathDelimiter); slash > 0)
            MakeFolders(path.left(slash));
        WriteFileBytes(path, bytes);
    } catch (const EFileError& e) {
        return failure(e.Message());
    }
    return {};
}

} // namespace

QString LoadSettings(TSettings& settings, const QString& path)
{
    SetDefaultSettings(settings);
    QString problem;
    const std::optional<TSettingsKey> key = OpenKeyForReading(path, &problem);
    if (!problem.isEmpty())
        problem.prepend(u"not read: ");
    if (!key)
        return problem; // empty at the first start: the defaults stand
    try {
        for (const TSettingsField& field : SettingsFields())
            readField(&*key, field, settings);
    } catch (const ESettingsFileError& e) {
        // A value of the wrong type ends loading; what was read so far stays.
        problem = u"read in part: " + e.Message();
    }
    ClampStyleRanges(settings);
    return problem;
}

TSaveResult SaveSettings(const TSettings& settings, const QString& path)
{
    TSettingsKey key(true);
    TSettings record = settings; // the field accessors hand out references into a record
    try {
        for (const TSettingsField& field : SettingsFields())
            writeField(&key, field, record);
    } catch (const ESettingsFileError& e) {
        return failure(e.Message());
    }
    return writeFile(path, FormatRegistryText(key));
}

} // namespace dirka
