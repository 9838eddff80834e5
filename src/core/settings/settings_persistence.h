#pragma once

#include "core/settings/settings_records.h"
#include "core/settings/settings_store.h"

#include <QString>

// Loading and saving TSettings through the settings store, one stored value per field in the
// order of SettingsFields() ("MaxDepth" first, "S.Header" last).
namespace dirka {

/// The outcome of a save: Ok, or the system's reason why the file could not be written.
struct TSaveResult {
    bool Ok = true;
    QString Reason; // "Permission denied", "No space left on device" ...
};

/// Defaults, then every stored value in table order; a value of the wrong type ends loading
/// there (later fields keep their defaults). Never fails visibly. Only IndentSpace and Mode are
/// brought back into range. LoadSettings(settings) reads SettingsFilePath().
/// Answers why the stored values were not all taken, for a caller that tells: "not read:
/// Permission denied", "not read: larger than 64 MiB", "not read: no [HKEY_...] line",
/// "read in part: Invalid data type for 'S.Preset'"; empty when they were or there is no file.
QString LoadSettings(TSettings& settings, const QString& path = SettingsFilePath());

/// Writes all 45 values as a clean file, creating its folder; the file is replaced atomically,
/// so on failure an existing file stays as it was. A target that exists but is not a regular
/// file (a device, a FIFO) is written directly instead.
/// if (const TSaveResult r = SaveSettings(settings); !r.Ok) warn(r.Reason);
TSaveResult SaveSettings(const TSettings& settings, const QString& path = SettingsFilePath());

} // namespace dirka
