#pragma once

#include <QMainWindow>

namespace dirka {

/// The program's one main window.
class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormMain(QWidget* parent = nullptr);
};

} // namespace dirka
