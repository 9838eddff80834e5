#include "gui/dialogs/style_rules.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace dirka {

namespace {

// A drop-down shows no selection for a code it has no item for.
int positionIn(int code, qsizetype count)
{
    return code >= 0 && code < count ? code : -1;
}

} // namespace

void LoadStyleControls(TStyleControls& controls, const TListStyle& style, bool withHeader)
{
    controls.StylePosition = style.Preset >= 0 && style.Preset <= CustomPreset ? style.Preset : -1;
    if (style.Mode == ListMode || style.Mode == TreeMode)
        controls.Tree = style.Mode == TreeMode;
    if (style.Separator == TabSeparator || style.Separator == SpaceSeparator)
        controls.SeparatorSpace = style.Separator == SpaceSeparator;
    if (style.IndentMode >= 0 && style.IndentMode <= 2)
        controls.IndentMode = style.IndentMode;
    controls.NewLine = style.IsNewLine;
    controls.Skip = style.IsSkip;
    controls.Summary = style.IsSummary;
    controls.Base = positionIn(style.Base, FolderItemChoices().size());
    controls.Folder = positionIn(style.Folder, FolderItemChoices().size());
    controls.File = positionIn(style.File, FileItemChoices().size());
    controls.SortMode = positionIn(style.SortMode, SortModeChoices().size());
    // The spin box holds 0..20 and brings any other value into that range.
    controls.IndentSpace = std::clamp(style.IndentSpace, 0, 20);
    if (withHeader) {
        controls.Header = style.IsHeader;
        controls.HeaderPosition = positionIn(style.Header, HeaderChoices().size());
    }
}

TListStyle ReadStyleControls(const TStyleControls& controls)
{
    TListStyle style;
    SetDefaultStyle(style);
    style.Preset = controls.StylePosition;
    style.Mode = controls.Tree ? TreeMode : ListMode;
    style.Separator = controls.SeparatorSpace ? SpaceSeparator : TabSeparator;
    style.IndentMode = controls.IndentMode;
    style.IsNewLine = controls.NewLine;
    style.IsSkip = controls.Skip;
    style.IsSummary = controls.Summary;
    style.Base = controls.Base;
    style.Folder = controls.Folder;
    style.File = controls.File;
    style.SortMode = controls.SortMode;
    style.IndentSpace = controls.IndentSpace;
    style.IsHeader = controls.Header;
    style.Header = controls.HeaderPosition;
    return style;
}

TStyleControlStates StyleControlStates(const TStyleControls& controls)
{
    return {controls.IndentMode == SpaceIndent, !controls.Tree, controls.Header};
}

QString PreviewCaption(const QString& name)
{
    return name.isEmpty() ? QStringLiteral("Preview") : u"Preview - " + name;
}

void TPreviewLines::TruncateLines(qsizetype count)
{
    TResultText::TruncateLines(count);
    m_unchanged = std::min(m_unchanged, LineCount());
}

void TPreviewLines::Reset()
{
    Clear();
    m_unchanged = 0;
}

qsizetype TPreviewLines::TakeUnchangedCount()
{
    const qsizetype unchanged = m_unchanged;
    m_unchanged = LineCount();
    return unchanged;
}

qsizetype RefreshPreview(QTextDocument& document, qsizetype shownLines, TPreviewLines& lines)
{
    const qsizetype kept = std::min(shownLines, lines.TakeUnchangedCount());
    const qsizetype count = lines.LineCount();
    if (kept == 0) {
        document.clear();
    } else if (kept < shownLines) {
        // Line kept - 1 stays; its line break and everything after it go.
        QTextCursor taken(document.findBlockByNumber(int(kept - 1)));
        taken.movePosition(QTextCursor::EndOfBlock);
        taken.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        taken.removeSelectedText();
    }
    QString added;
    for (qsizetype i = kept; i < count; ++i) {
        if (i > 0)
            added += u'\n';
        added += lines.Line(i);
    }
    QTextCursor cursor(&document);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(added);
    return count;
}

} // namespace dirka
