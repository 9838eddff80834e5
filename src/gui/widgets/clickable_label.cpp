#include "gui/widgets/clickable_label.h"

#include "gui/widgets/named.h"

#include <QMouseEvent>

namespace dirka {

TClickableLabel::TClickableLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setCursor(Qt::PointingHandCursor);
}

// The press is taken so that the release comes back here.
void TClickableLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        event->accept();
    else
        QLabel::mousePressEvent(event);
}

void TClickableLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        event->accept();
        Q_EMIT Clicked();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

TClickableLabel* LinkLabel(const QString& text, QWidget* parent, const char* name)
{
    auto* label = named(new TClickableLabel(text, parent), name);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
    label->setPalette(palette);
    return label;
}

} // namespace dirka
