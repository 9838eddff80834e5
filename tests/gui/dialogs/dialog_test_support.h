#pragma once

// Small helpers shared by the dialog tests: answering the modal windows a click opens.

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace testsupport {

/// The control named name in window; a missing one ends the test run with its name.
template <typename T = QWidget> T* child(QWidget* window, const char* name)
{
    T* widget = window->findChild<T*>(QLatin1StringView(name));
    if (!widget)
        qFatal("no control %s", name);
    return widget;
}

/// Clicks button and runs answer on the modal window it opens, from inside that window's loop;
/// an answer left over when no window opened dies with the context.
inline void clickAndAnswer(QAbstractButton* button, const std::function<void(QWidget*)>& answer)
{
    QObject context;
    QTimer::singleShot(0, &context, [answer] {
        if (QWidget* modal = QApplication::activeModalWidget())
            answer(modal);
    });
    button->click();
}

/// Clicks button and closes the message box it shows; "Title: text", or empty when none came.
inline QString clickForMessage(QAbstractButton* button)
{
    QString message;
    clickAndAnswer(button, [&message](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            message = box->windowTitle() + u": " + box->text();
            box->accept();
        }
    });
    return message;
}

/// Clicks button and answers the mask dialog it opens with mask and OK.
inline void clickAndTypeMask(QAbstractButton* button, const QString& mask)
{
    clickAndAnswer(button, [mask](QWidget* modal) {
        child<QLineEdit>(modal, "ed")->setText(mask);
        child<QPushButton>(modal, "btnOK")->click();
    });
}

} // namespace testsupport
