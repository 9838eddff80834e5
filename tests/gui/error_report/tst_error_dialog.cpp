#include "core/system/error_report.h"
#include "core/system/program_info.h"
#include "gui/error_report/application.h"
#include "gui/error_report/error_dialog.h"

#include "test_support.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

using namespace dirka;
using testsupport::testInfo;

namespace {

// A tiny web server on the loopback address: notes each request line and answers with a page.
class TReportServer : public QObject {
public:
    bool Listen()
    {
        connect(&m_server, &QTcpServer::newConnection, this, &TReportServer::accept);
        return m_server.listen(QHostAddress::LocalHost, 0);
    }
    QString Root() const
    {
        return QStringLiteral("http://127.0.0.1:%1/").arg(m_server.serverPort());
    }

    QStringList Requests;
    QByteArray Page = "<html><body><p>Report received. Thank you!</p></body></html>";
    QByteArray RedirectTo; // a path every other request is sent on to

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
        }
    }
    void answer(QTcpSocket* socket)
    {
        const QByteArray request = socket->property("request").toByteArray() + socket->readAll();
        socket->setProperty("request", request);
        if (!request.contains("\r\n\r\n"))
            return;
        Requests << QString::fromLatin1(request.left(request.indexOf("\r\n")));
        if (!RedirectTo.isEmpty() && !request.startsWith(QByteArray("GET " + RedirectTo + " "))) {
            socket->write("HTTP/1.1 302 Found\r\nLocation: " + RedirectTo +
                          "\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
        } else {
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
                          "Connection: close\r\nContent-Length: " +
                          QByteArray::number(Page.size()) + "\r\n\r\n" + Page);
        }
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
};

// Notes what reached it; Inner runs while it "reports".
class TFakeReporter : public TErrorReporter {
public:
    void ReportException(QObject* sender, std::exception_ptr error) override
    {
        Senders << (sender != nullptr ? sender->objectName() : QString());
        Details = DetailsOf(error);
        if (Inner)
            Inner();
    }
    QStringList Senders;
    TExceptionDetails Details;
    std::function<void()> Inner;
};

class TThrower : public QObject {
public:
    TThrower() { setObjectName(QStringLiteral("thrower")); }
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::User)
            RaiseTestError();
        return QObject::event(event);
    }
};

bool throwAt(QObject& receiver)
{
    QEvent event(QEvent::User);
    return QCoreApplication::sendEvent(&receiver, &event);
}

TExceptionDetails testError()
{
    TExceptionDetails details;
    details.ErrorClassName = QStringLiteral("EWin32Error");
    details.ErrorMessage = QStringLiteral("Test Error");
    details.RaiseAddress = details.FaultAddress = 0x1A2B4;
    details.CallStack = QStringLiteral("0001A2B0, 00020010");
    return details;
}

template <typename T> T* child(const QWidget& dialog, const char* name)
{
    return dialog.findChild<T*>(QLatin1StringView(name));
}

QWidget* currentPage(const QWidget& dialog)
{
    return child<QStackedWidget>(dialog, "PageControl")->currentWidget();
}

} // namespace

class TestErrorDialog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        QNetworkProxyFactory::setUseSystemConfiguration(false);
        QVERIFY(m_server.Listen());
        qputenv("DIRKA_SITE_ROOT", m_server.Root().toUtf8());
        ReplaceInfo(testInfo());
    }

    void texts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("labelTitle") << u"Dirka causes Error"_qs;
        QTest::newRow("labelSending") << u"We are sorry for the inconvenience."_qs;
        QTest::newRow("labelHelpImprove") << u"You can help to fix it. Send a report."_qs;
        QTest::newRow("btnSend") << u"&Send"_qs;
        QTest::newRow("btnCancel") << u"&Don't Send"_qs;
        QTest::newRow("labelPleaseSend") << u"Please send error report to "_qs;
        QTest::newRow("labelWww") << u"Pelmora"_qs;
        QTest::newRow("labelAnyData") << u"Any data you send us is confidential and will not be "
                                         u"used for any other purpose than fixing the problem."_qs;
        QTest::newRow("labelDescribeSteps")
            << u"Describe steps leading to this error (optional)"_qs;
        QTest::newRow("labelYourEmail") << u"Your Email Address (optional)"_qs;
        QTest::newRow("btnSee") << u"See &what will be sent"_qs;
        QTest::newRow("btnNoteBack") << u"Back"_qs;
    }
    void texts()
    {
        QFETCH(QString, text);
        TErrorReportDialog dialog(nullptr);
        dialog.show();
        const QWidget* control =
            dialog.findChild<QWidget*>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(control != nullptr);
        QCOMPARE(control->property("text").toString(), text);
    }

    void controls()
    {
        TApplication* app = TApplication::Instance();
        app->SetErrorReporter(nullptr);
        {
            TErrorReportDialog dialog(nullptr);
            QCOMPARE(app->ErrorReporter(), static_cast<TErrorReporter*>(&dialog));
            dialog.show();
            QCOMPARE(dialog.windowTitle(), u"Dirka"_qs);
            QCOMPARE(currentPage(dialog)->objectName(), u"tsPleaseSend"_qs);
            QVERIFY(child<QPushButton>(dialog, "btnCancel")->isEnabled());
            QVERIFY(dialog.width() >= 452 && dialog.height() >= 406);
            QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
            const QLabel* www = child<QLabel>(dialog, "labelWww");
            QCOMPARE(www->geometry().left(),
                     child<QLabel>(dialog, "labelPleaseSend")->geometry().right() + 1);
            QCOMPARE(www->toolTip(), u"Open web page " + m_server.Root());
            QCOMPARE(child<QLineEdit>(dialog, "edEmail")->maxLength(), 100);
            auto* action = dialog.findChild<QAction*>(u"EditSelectAll"_qs);
            QCOMPARE(action->text(), u"Select &All"_qs);
            QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_A));
            auto* memo = child<QPlainTextEdit>(dialog, "memoComment");
            memo->setPlainText(u"one\ntwo"_qs);
            memo->setFocus();
            action->trigger();
            QCOMPARE(memo->textCursor().selectedText(), u"one\u2029two"_qs);
        }
        QCOMPARE(app->ErrorReporter(), nullptr);
    }

    void commentLimit_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("after");
        QTest::newRow("pasted past the limit")
            << "" << 0 << QString(310, u'b') << QString(300, u'b');
        QTest::newRow("up to the limit")
            << QString(299, u'c') << 299 << "de" << QString(299, u'c') + u'd';
        QTest::newRow("into the middle of a full comment")
            << QString(300, u'c') << 10 << "XYZ" << QString(300, u'c');
        QTest::newRow("a pair at the limit stays whole")
            << QString(299, u'd') << 299 << u"\U0001F600"_qs << QString(299, u'd');
        QTest::newRow("line breaks count")
            << QString(298, u'e') << 298 << "\n\nf" << QString(298, u'e') + u"\n\n";
    }
    void commentLimit()
    {
        QFETCH(QString, before);
        QFETCH(int, cursor);
        QFETCH(QString, typed);
        QFETCH(QString, after);
        TErrorReportDialog dialog(nullptr);
        auto* memo = child<QPlainTextEdit>(dialog, "memoComment");
        memo->setPlainText(before);
        QTextCursor position = memo->textCursor();
        position.setPosition(cursor);
        memo->setTextCursor(position);
        memo->insertPlainText(typed);
        QCOMPARE(memo->toPlainText(), after);
    }

    void seeWhatWillBeSent()
    {
        TErrorReportDialog dialog(nullptr);
        dialog.SetReport(testError(), testInfo());
        dialog.show();
        child<QLineEdit>(dialog, "edEmail")->setText(QStringLiteral("ann@example.org"));
        child<QPlainTextEdit>(dialog, "memoComment")->setPlainText(QStringLiteral("One;\nTwo & 3"));
        child<QPushButton>(dialog, "btnSee")->click();
        QCOMPARE(currentPage(dialog)->objectName(), QStringLiteral("tsNote"));
        QCOMPARE(child<QPlainTextEdit>(dialog, "memoNote")->toPlainText(),
                 QStringLiteral("Program: Dirka 2.1.0.37 (123456 bytes)\nOS:\tLinux 6.1.0\n"
                                "Error name:\tEWin32Error\nError message:\tTest Error\n"
                                "Error Code:\t00000000\nAddress:\t0001A2B4\n"
                                "Call stack:\t0001A2B0, 00020010\nEmail:\tann@example.org\n"
                                "Note: \nOne;\nTwo & 3"));
        child<QPushButton>(dialog, "btnNoteBack")->click();
        QCOMPARE(currentPage(dialog)->objectName(), QStringLiteral("tsPleaseSend"));
    }

    void sendsOnce()
    {
        m_server.Requests.clear();
        TErrorReportDialog dialog(nullptr);
        dialog.SetReport(testError(), testInfo());
        dialog.show();
        child<QLineEdit>(dialog, "edEmail")->setText(QStringLiteral(" ann@example.org "));
        child<QPlainTextEdit>(dialog, "memoComment")
            ->setPlainText(u"  Listed /home;\n\n  then pressed \u0141  \n"_qs);
        auto* send = child<QPushButton>(dialog, "btnSend");
        QTest::mouseClick(send, Qt::LeftButton);
        QCOMPARE(send->text(), QStringLiteral("&Close"));
        QVERIFY(!child<QPushButton>(dialog, "btnCancel")->isEnabled());
        QVERIFY(child<QLabel>(dialog, "labelHelpImprove")->isHidden());
        QCOMPARE(child<QLabel>(dialog, "labelSending")->text(),
                 QStringLiteral("Sending report..."));
        QCOMPARE(currentPage(dialog)->objectName(), QStringLiteral("tsAfterSend"));

        QTRY_COMPARE(m_server.Requests.size(), 1);
        // ";" as "%3B" (Qt writes its escapes in upper case, the same octet), non-ASCII characters
        // as UTF-8.
        QCOMPARE(m_server.Requests.at(0),
                 QStringLiteral("GET /cgi/send_bug.cgi?p=Dirka&v=2.1.0.37&s=123456"
                                "&o=Linux%206.1.0&n=EWin32Error&m=Test%20Error&c=00000000"
                                "&a=0001A2B4&t=0001A2B0,%2000020010&e=ann@example.org"
                                "&d=Listed%20/home%3B%20then%20pressed%20%C5%81 HTTP/1.1"));
        const QString query = m_server.Requests.at(0).section(u'?', 1).section(u' ', 0, 0);
        QStringList keys;
        for (const QString& pair : query.split(u'&'))
            keys << pair.section(u'=', 0, 0);
        QCOMPARE(keys, QString(u"p v s o n m c a t e d"_qs).split(u' '));

        // The download-complete rule clears the line, and the answer page shows.
        QTRY_COMPARE(child<QLabel>(dialog, "labelSending")->text(), QString());
        QCOMPARE(child<QTextBrowser>(dialog, "WebBrowser")->toPlainText(),
                 QStringLiteral("Report received. Thank you!"));

        QTest::mouseClick(send, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(dialog.findChildren<QNetworkReply*>().size(), 0);
        QCOMPARE(m_server.Requests.size(), 1);
    }

    // A redirection is followed to the page it names, whose links then resolve against it.
    void redirectedSend()
    {
        m_server.Requests.clear();
        m_server.RedirectTo = "/thanks/page.html";
        TErrorReportDialog dialog(nullptr);
        dialog.SetReport(testError(), testInfo());
        dialog.show();
        child<QPushButton>(dialog, "btnSend")->click();
        QTRY_COMPARE(child<QLabel>(dialog, "labelSending")->text(), QString());
        m_server.RedirectTo.clear();
        QCOMPARE(m_server.Requests.size(), 2);
        QVERIFY(m_server.Requests.at(0).startsWith(u"GET /cgi/send_bug.cgi?p=Dirka&"));
        QCOMPARE(m_server.Requests.at(1), u"GET /thanks/page.html HTTP/1.1"_qs);
        QCOMPARE(child<QTextBrowser>(dialog, "WebBrowser")->toPlainText(),
                 QStringLiteral("Report received. Thank you!"));
    }

    void failedSend()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
        const QByteArray root = "http://127.0.0.1:" + QByteArray::number(closed.serverPort()) + "/";
        closed.close();
        qputenv("DIRKA_SITE_ROOT", root);
        TErrorReportDialog dialog(nullptr);
        dialog.SetReport(testError(), testInfo());
        dialog.show();
        child<QPushButton>(dialog, "btnSend")->click();
        QTRY_COMPARE(child<QLabel>(dialog, "labelSending")->text(), QString());
        qputenv("DIRKA_SITE_ROOT", m_server.Root().toUtf8());
        QVERIFY(child<QTextBrowser>(dialog, "WebBrowser")->toPlainText().contains(u"refused"));
        QCOMPARE(child<QPushButton>(dialog, "btnSend")->text(), QStringLiteral("&Close"));
    }

    void errorsReachReporter_data()
    {
        QTest::addColumn<int>("way");
        QTest::addColumn<QString>("sender");
        QTest::newRow("event handler") << 0 << "thrower";
        QTest::newRow("button click") << 1 << "button";
        QTest::newRow("command shortcut") << 2 << "actionError";
    }
    void errorsReachReporter()
    {
        QFETCH(int, way);
        QFETCH(QString, sender);
        TFakeReporter reporter;
        TApplication::Instance()->SetErrorReporter(&reporter);
        TThrower thrower;
        QWidget window;
        auto* button = new QPushButton(QStringLiteral("Fail"), &window);
        button->setObjectName(QStringLiteral("button"));
        connect(button, &QPushButton::clicked, [] { RaiseTestError(); });
        auto* action = new QAction(&window);
        action->setObjectName(QStringLiteral("actionError"));
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::ALT | Qt::Key_Q));
        connect(action, &QAction::triggered, [] { RaiseTestError(); });
        window.addAction(action);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));

        if (way == 0)
            QCOMPARE(throwAt(thrower), false);
        else if (way == 1)
            QTest::mouseClick(button, Qt::LeftButton);
        else
            QTest::keyClick(&window, Qt::Key_Q,
                            Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
        TApplication::Instance()->SetErrorReporter(nullptr);
        QCOMPARE(reporter.Senders, QStringList{sender});
        QCOMPARE(reporter.Details.ErrorClassName, QStringLiteral("EWin32Error"));
        QCOMPARE(reporter.Details.ErrorMessage, QStringLiteral("Test Error"));
        QVERIFY(reporter.Details.RaiseAddress != 0);
    }

    void oneReportPerRun()
    {
        TFakeReporter reporter;
        TThrower thrower;
        reporter.Inner = [&thrower] { QCOMPARE(throwAt(thrower), false); };
        TApplication* app = TApplication::Instance();
        app->SetErrorReporter(&reporter);
        QCOMPARE(throwAt(thrower), false);
        QCOMPARE(throwAt(thrower), false);
        QCOMPARE(reporter.Senders.size(), 1);
        QVERIFY(app->ErrorReported());
        app->SetErrorReporter(&reporter);
        QCOMPARE(throwAt(thrower), false);
        QCOMPARE(reporter.Senders.size(), 2);
        app->SetErrorReporter(nullptr);
    }

    void reportEndsProgram_data()
    {
        QTest::addColumn<int>("way");
        QTest::newRow("Don't Send") << 0;
        QTest::newRow("close box") << 1;
        QTest::newRow("Escape") << 2;
    }
    void reportEndsProgram()
    {
        QFETCH(int, way);
        TErrorReportDialog dialog(nullptr);
        QList<int> ends;
        dialog.SetEndProgram([&ends](int status) { ends << status; });
        QTimer::singleShot(0, &dialog, [&dialog, way] {
            QVERIFY(dialog.isModal() && dialog.isVisible());
            if (way == 0)
                child<QPushButton>(dialog, "btnCancel")->click();
            else if (way == 1)
                dialog.close();
            else
                QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        TThrower thrower;
        QCOMPARE(throwAt(thrower), false);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(ends, QList<int>{70});
        QVERIFY(dialog.ReportQuery().startsWith(
            u"p=Dirka&v=2.1.0.37&s=123456&o=Linux%206.1.0&n=EWin32Error&m=Test%20Error"
            u"&c=00000000&a="));
        QVERIFY(!dialog.ReportQuery().contains(u"&a=00000000"));
        QVERIFY(!dialog.ReportText().contains(u"Addr. 2:"));
        QVERIFY(dialog.ReportText().contains(u"\r\nCall stack:\t"));
        QVERIFY(!dialog.ReportText().contains(u"\r\nCall stack:\t\r\n"));
        TApplication::Instance()->SetErrorReporter(nullptr);
    }

private:
    TReportServer m_server;
};

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TestErrorDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_error_dialog.moc"
