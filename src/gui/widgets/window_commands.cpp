#include "gui/widgets/window_commands.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace dirka {

bool SelectAllInEditor(QWidget* focused)
{
    if (auto* combo = qobject_cast<QComboBox*>(focused); combo && combo->lineEdit())
        focused = combo->lineEdit();
    if (auto* line = qobject_cast<QLineEdit*>(focused))
        line->selectAll();
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(focused))
        plain->selectAll();
    else if (auto* rich = qobject_cast<QTextEdit*>(focused))
        rich->selectAll();
    else
        return false;
    return true;
}

void ToggleMaximized(QWidget* window)
{
    if (window->isMaximized())
        window->showNormal();
    else
        window->showMaximized();
}

} // namespace dirka
