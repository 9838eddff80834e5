#include "gui/main_window.h"

#include <QGuiApplication>

namespace dirka {

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("FormMain"));
    const QString caption = QStringLiteral("Dirka 2.1");
    setWindowTitle(caption);
    QGuiApplication::setApplicationDisplayName(caption);
    resize(800, 560);
}

} // namespace dirka
