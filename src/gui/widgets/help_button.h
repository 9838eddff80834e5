#pragma once

#include "gui/widgets/named.h"

#include <QPushButton>

namespace dirka {

/// The "Help" button every dialog has, alike in all of them: plain text, no picture. Like a
/// speed button it takes no focus, so F1 and Help both see the control in use.
inline QPushButton* HelpButton(QWidget* parent)
{
    auto* button = named(new QPushButton(QStringLiteral("Help"), parent), "sbtnHelp");
    button->setToolTip(QStringLiteral("Help (F1)"));
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoDefault(false);
    return button;
}

} // namespace dirka
