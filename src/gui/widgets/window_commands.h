#pragma once

class QWidget;

// Commands that every window of the program has in the same form.
namespace dirka {

/// Select All in the focused editor: a line edit, an editable combo box's text, a plain or rich
/// text area. Answers whether focused was one of them; anything else is left alone.
bool SelectAllInEditor(QWidget* focused);

/// Maximize / Restore: maximizes window, or restores it when it is maximized.
void ToggleMaximized(QWidget* window);

} // namespace dirka
