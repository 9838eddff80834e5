#pragma once

#include <QEvent>
#include <QString>

class QWidget;

// Local help: pages below the program folder's help/ folder, picked by the help context of the
// focused control or its window, and F1 caught for the whole application.
namespace dirka {

/// The property that carries a widget's help context number.
inline constexpr char HelpContextProperty[] = "helpContext";

/// The help contexts of the program's windows and controls: page us0005.html is the find box's.
inline constexpr int FindBoxHelpContext = 5;
inline constexpr int StyleHelpContext = 6;
inline constexpr int OptionsHelpContext = 7;
inline constexpr int ExportHelpContext = 8;

/// Gives widget the help context n.
void SetHelpContext(QWidget* widget, int n);
/// The context of the focused control of the active window; when that is 0 or less, the
/// window's own.
int CurrentHelpContext();

/// "us0008.html" for context 8 in "us"; for 0 or less "index.html" in "us", else
/// language + "_Home.html".
QString HelpPageName(int context, const QString& languageCode);

/// The page to open for a context: the named page when it exists below helpFolder, else
/// "index.html" when that exists, else nothing (empty).
QString HelpPagePath(int context, const QString& languageCode, const QString& helpFolder);

/// F1 without Ctrl, Shift or Alt, as a key press or as the shortcut check that comes first.
bool IsHelpKey(const QEvent* event);

} // namespace dirka
