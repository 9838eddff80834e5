#pragma once

#include "core/settings/settings_records.h"

#include <QString>
#include <QStringView>

#include <functional>
#include <optional>
#include <vector>

// The persisted values of TSettings by their stored names, in the order they are written.
namespace dirka {

enum class TValueKind { Integer, Boolean, Text };

/// One stored value: its name, its kind and where it lives in a TSettings record.
/// Exactly one of the three accessors is set, the one of Kind.
struct TSettingsField {
    QString Name;
    TValueKind Kind;
    std::function<int&(TSettings&)> Integer;
    std::function<bool&(TSettings&)> Boolean;
    std::function<QString&(TSettings&)> Text;
};

/// The 45 stored values, "MaxDepth" first and "S.Header" last.
const std::vector<TSettingsField>& SettingsFields();

/// The field of that exact name, or null.
const TSettingsField* FindSettingsField(QStringView name);

/// Sets a field from its text form ("12", "0"/"1", any text); false when the text does not
/// parse for the field's kind. Integers are decimal 32-bit values.
bool SetFieldFromText(const TSettingsField& field, TSettings& settings, QStringView value);

/// Reads each style value outside its field's range as that field's default: a code outside
/// its list would show as an empty choice and print blank lines, and a huge indentation would
/// exhaust memory. S.Base = -1 becomes 9; S.Header = 7 stays.
void ClampStyleRanges(TSettings& settings);

} // namespace dirka
