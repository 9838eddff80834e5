#pragma once

#include <QFrame>

namespace dirka {

/// The thin sunken line that separates the areas of a window.
inline QFrame* ThinLine(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace dirka
