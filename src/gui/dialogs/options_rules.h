#pragma once

#include "core/settings/settings_records.h"
#include "core/system/program_info.h"

#include <QString>
#include <QStringList>
#include <QStringView>

// The rules of the mask and options dialogs, apart from their widgets: what a mask may hold, how
// a mask text becomes list rows and back, which default locations are refused.
namespace dirka {

// --- Mask dialog ---

/// The warning for a mask that breaks the mask syntax, or empty when it is valid. The checks
/// run in a fixed order, so MaskProblem(u"a?b|c") names only the question mark;
/// MaskProblem(u"*a*b*") == "Too many asterisk characters (*)."
QString MaskProblem(QStringView mask);

/// The mask dialog's counter: CharCountText(u"*.txt") == "(5 chars)"
QString CharCountText(QStringView text);

// --- Options dialog ---

/// A separator entry's mask text is exactly "|"; its masks cannot be edited.
bool IsSeparatorMaskText(QStringView maskText);

/// The rows of an entry's mask list: MaskRows(u"*.txt|*.log|") == {"*.txt", "*.log"};
/// a separator has none: MaskRows(u"|") == {}.
QStringList MaskRows(QStringView maskText);

/// The mask text written back from the rows, each followed by "|":
/// MaskTextOfRows({"*.txt"}) == "*.txt|", MaskTextOfRows({}) == ""
QString MaskTextOfRows(const QStringList& rows);

/// The caption of the mask list: "Skip &files" for the skip lists 0 and 1, else
/// "List only &files".
QString MaskListCaption(int filter);

/// The row selected after deleting row deleted from a list that now holds count rows: the same
/// position, the new last row, or -1 when the list is empty.
int RowAfterDelete(int deleted, int count);

/// The options dialog's Reset: search range, actions, locations and the filter index back to
/// their defaults; the masks and the style stay.
void ResetOptions(TSettings& settings);

/// Which default location the options dialog refuses on OK.
enum class TMissingLocation { None, PathList, PathSave };

/// PathList is refused when it is not empty and its first location is no existing folder;
/// PathSave when its first location is no existing folder (an empty one never is).
TMissingLocation MissingLocation(const TSettings& settings, const TInfo& info = Info());

} // namespace dirka
