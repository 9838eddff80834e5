#pragma once

#include "core/listing/result_text.h"
#include "core/settings/settings_records.h"

#include <QString>

class QTextDocument;

// The rules of the style dialog, apart from its widgets: how the style controls load from, and
// read into, a TListStyle, which of them are enabled, and the preview's lines.
namespace dirka {

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

/// Brings document (one line a block) up to lines, of which it shows the first shownLines as
/// they were at the last call: only lines that changed since go to the document, so a folder of
/// many thousand files still previews in linear time. Answers the lines it shows now.
qsizetype RefreshPreview(QTextDocument& document, qsizetype shownLines, TPreviewLines& lines);

} // namespace dirka
