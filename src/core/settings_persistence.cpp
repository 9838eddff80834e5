#include "core/settings_persistence.h"

#include "core/settings_fields.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>

namespace dirka {

namespace {

void readField(const TRegKey* key, const TSettingsField& field, TSettings& settings)
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

void writeField(TRegKey* key, const TSettingsField& field, TSettings& settings)
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

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Devices and FIFOs are written in place: replacing them with a regular file would be wrong.
TSaveResult writeDirectly(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(file.errorString());
    if (file.write(bytes) != bytes.size() || !file.flush())
        return failure(file.errorString());
    return {};
}

TSaveResult writeAtomically(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(file.errorString());
    // commit() may answer true for data that never left the buffer (a full disk), so the
    // buffer is flushed and checked first. A failed flush leaves errorString() at "Unknown
    // error"; errno still holds the cause.
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = errno ? systemReason(errno) : file.errorString();
        file.cancelWriting();
        return failure(reason);
    }
    if (!file.commit())
        return failure(file.errorString());
    return {};
}

TSaveResult writeFile(const QString& path, const QByteArray& bytes)
{
    const QFileInfo target(path);
    const QString folder = target.absolutePath();
    errno = 0;
    if (!QDir().mkpath(folder)) {
        // mkdir() says EEXIST when a file stands where a folder of the path belongs.
        const int error = errno && errno != EEXIST ? errno : ENOTDIR;
        return failure(folder + u": " + systemReason(error));
    }
    if (target.exists() && !target.isFile() && !target.isDir())
        return writeDirectly(path, bytes);
    return writeAtomically(path, bytes);
}

} // namespace

void LoadSettings(TSettings& settings, const QString& path)
{
    SetDefaultSettings(settings);
    const std::optional<TRegKey> key = OpenKeyForReading(path);
    if (!key)
        return; // first start: the defaults stand
    try {
        for (const TSettingsField& field : SettingsFields())
            readField(&*key, field, settings);
    } catch (const ERegistryException&) {
        // A value of the wrong type ends loading silently; what was read so far stays.
    }
    ClampStyleRanges(settings);
}

TSaveResult SaveSettings(const TSettings& settings, const QString& path)
{
    TRegKey key(true);
    TSettings record = settings; // the field accessors hand out references into a record
    try {
        for (const TSettingsField& field : SettingsFields())
            writeField(&key, field, record);
    } catch (const ERegistryException& e) {
        return failure(e.Message());
    }
    return writeFile(path, FormatRegistryText(key));
}

} // namespace dirka
