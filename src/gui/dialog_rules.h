#pragma once

#include "core/listing/result_text.h"
#include "core/settings/settings_records.h"
#include "core/system/program_info.h"

#include <QString>
#include <QStringList>
#include <QStringView>

// The rules of the mask, options and style dialogs, apart from their widgets: what a mask may
// hold, how a mask text becomes list rows and back, which default locations are refused, and
// how the style controls load from, and read into, a TListStyle.
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

// --- Style dialog ---

/// The values the style dialog's controls hold, without the widgets. A position of -1 is a
/// list or drop-down without selection. The defaults are the controls as created.
struct TStyleControls {
    int StylePosition = -1; // listBoxStyle: 0..9 a preset, 10 "Custom"
    bool Tree = false;      // radioTree, else radioList
    bool SeparatorSpace = false;
    int IndentMode = 2; // the checked indent button: 0 tab, 1 space, 2 none
    bool NewLine = false;
    bool Skip = false;
    bool Summary = false;
    int Base = 0;
    int Folder = 0;
    int File = 0;
    int SortMode = 0;
    int IndentSpace = 0;
    bool Header = false;
    int HeaderPosition = 0;

    bool operator==(const TStyleControls&) const = default;
};

/// Loads the controls from a style; the header controls only when withHeader. A code outside
/// its range leaves its radio buttons as they were and its drop-down without selection.
void LoadStyleControls(TStyleControls& controls, const TListStyle& style, bool withHeader);

/// The style the controls describe: the defaults, then every field but Name from its control.
TListStyle ReadStyleControls(const TStyleControls& controls);

/// The controls whose enabled state follows other controls.
struct TStyleControlStates {
    bool IndentSpace = false; // only with the "Space" indentation
    bool FolderItem = false;  // only in list mode: a tree has no separate folder items
    bool HeaderList = false;  // only with "Header" checked

    bool operator==(const TStyleControlStates&) const = default;
};
TStyleControlStates StyleControlStates(const TStyleControls& controls);

/// The caption above the preview: "Preview - List - simple", or "Preview" without a name.
QString PreviewCaption(const QString& name);

/// The preview's lines. The walker may take lines back (a folder without listed files) and
/// write others in their place between two looks of the text area, so this keeps the fewest
/// lines held since the last look: every line from there on is to be shown anew.
class TPreviewLines : public TResultText {
public:
    void TruncateLines(qsizetype count) override;
    void RemoveLastLine() override { TruncateLines(LineCount() - 1); }
    /// Empties the lines.
    void Reset();
    /// How many leading lines are as they were at the last call (0 at the first).
    qsizetype TakeUnchangedCount();

private:
    qsizetype m_unchanged = 0;
};

} // namespace dirka
