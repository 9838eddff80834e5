#include "gui/widgets/window_commands.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStyle>
#include <QTextEdit>
#include <QTimer>

#include <algorithm>

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

QRect FitAndCenter(QSize size, QMargins frame, QRect available)
{
    const QSize room = available.size().shrunkBy(frame);
    const QSize fitted = size.boundedTo(room);
    QRect outer(QPoint(), fitted.grownBy(frame));
    outer.moveCenter(available.center());
    outer.moveTop(std::max(outer.top(), available.top()));
    outer.moveLeft(std::max(outer.left(), available.left()));
    return outer.marginsRemoved(frame);
}

namespace {

QMargins frameMargins(const QWidget* window)
{
    const QRect inner = window->geometry();
    const QRect outer = window->frameGeometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

} // namespace

void KeepFrameOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen();
    if (!screen || !window->isVisible() || window->isMaximized() || window->isFullScreen())
        return;
    const QRect available = screen->availableGeometry();
    if (available.contains(window->frameGeometry()))
        return;
    const QMargins frame = frameMargins(window);
    QRect placed = FitAndCenter(window->size(), frame, available);
    window->resize(placed.size());
    window->move(placed.topLeft() - QPoint(frame.left(), frame.top()));
}

void PlaceOnScreenAndKeepFramed(QWidget* window)
{
    constexpr int FramePlacementDelayMs = 150;
    if (window->isMaximized())
        return;
    PlaceOnScreen(window);
    QTimer::singleShot(FramePlacementDelayMs, window, [window] { KeepFrameOnScreen(window); });
}

void PlaceOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    QMargins frame = frameMargins(window);
    if (frame.isNull())
        frame = QMargins(0, window->style()->pixelMetric(QStyle::PM_TitleBarHeight), 0, 0);
    const QRect placed = FitAndCenter(window->size(), frame, screen->availableGeometry());
    window->resize(placed.size());
    window->move(placed.topLeft() - QPoint(frame.left(), frame.top()));
}

} // namespace dirka
