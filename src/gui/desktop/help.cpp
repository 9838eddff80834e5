#include "gui/desktop/help.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QWidget>

namespace dirka {

void SetHelpContext(QWidget* widget, int n)
{
    widget->setProperty(HelpContextProperty, n);
}

int CurrentHelpContext()
{
    const auto contextOf = [](const QWidget* w) {
        return w ? w->property(HelpContextProperty).toInt() : 0;
    };
    const int focused = contextOf(QApplication::focusWidget());
    if (focused > 0)
        return focused;
    return contextOf(QApplication::activeModalWidget() ? QApplication::activeModalWidget()
                                                       : QApplication::activeWindow());
}

QString HelpPageName(int context, const QString& languageCode)
{
    if (context > 0)
        return languageCode + QStringLiteral("%1.html").arg(context, 4, 10, QLatin1Char('0'));
    return languageCode == u"us" ? QStringLiteral("index.html") : languageCode + u"_Home.html";
}

QString HelpPagePath(int context, const QString& languageCode, const QString& helpFolder)
{
    QString page = helpFolder + HelpPageName(context, languageCode);
    if (!QFileInfo(page).isFile())
        page = helpFolder + u"index.html";
    return QFileInfo(page).isFile() ? page : QString();
}

bool IsHelpKey(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    const Qt::KeyboardModifiers held =
        key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    return key->key() == Qt::Key_F1 && held == Qt::NoModifier;
}

} // namespace dirka
