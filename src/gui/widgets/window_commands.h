#pragma once

#include <QMargins>
#include <QRect>

class QWidget;

// Commands that every window of the program has in the same form.
namespace dirka {

/// Select All in the focused editor: a line edit, an editable combo box's text, a plain or rich
/// text area. Answers whether focused was one of them; anything else is left alone.
bool SelectAllInEditor(QWidget* focused);

/// Maximize / Restore: maximizes window, or restores it when it is maximized.
void ToggleMaximized(QWidget* window);

/// Where a window of the client size size with the frame margins frame stands on a screen whose
/// available area is available: centred, made smaller where it does not fit, its frame never
/// above or left of the area. Answers the client geometry.
QRect FitAndCenter(QSize size, QMargins frame, QRect available);

/// FitAndCenter for window on its screen, before or after it is shown. A window not yet mapped
/// knows no frame: a title bar of the style's height is assumed.
void PlaceOnScreen(QWidget* window);

/// PlaceOnScreen now, and KeepFrameOnScreen once the window manager has told the frame's size,
/// which it does only after the window is on screen. A maximized window is left alone.
void PlaceOnScreenAndKeepFramed(QWidget* window);

/// Moves a shown window whose frame stands out of its screen's available area back into it,
/// making it smaller where it does not fit; a window inside the area stays where it is.
void KeepFrameOnScreen(QWidget* window);

} // namespace dirka
