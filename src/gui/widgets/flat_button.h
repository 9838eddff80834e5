#pragma once

#include <QToolButton>

namespace dirka {

/// A flat tool button that shows its frame only under the mouse, named for lookups and tests.
inline QToolButton* FlatButton(QWidget* parent, const char* name, const QString& text,
                               bool bold = false)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(text);
    button->setAutoRaise(true);
    if (bold) {
        QFont font = button->font();
        font.setBold(true);
        button->setFont(font);
    }
    return button;
}

} // namespace dirka
