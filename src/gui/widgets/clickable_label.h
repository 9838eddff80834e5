#pragma once

#include <QLabel>

namespace dirka {

/// A label that answers a click: a left button pressed and released on it. A press dragged off
/// the label and released elsewhere is no click.
class TClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit TClickableLabel(const QString& text, QWidget* parent = nullptr);

Q_SIGNALS:
    void Clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
};

/// A clickable label that reads as a link: underlined, in the palette's link colour, with the
/// pointing hand.
TClickableLabel* LinkLabel(const QString& text, QWidget* parent, const char* name);

} // namespace dirka
