#include "core/listing/result_line_store.h"
#include "core/system/program_info.h"
#include "gui/desktop/desktop.h"
#include "gui/error_report/application.h"
#include "gui/main_window/find_panel.h"
#include "gui/main_window/main_window.h"
#include "gui/result_view/result_view.h"

#include "fresh_window.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace dirka;
using testsupport::TFakeDesktop;

namespace {

QByteArray readAll(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_tree;    // a.txt, b.log, sub/c.txt
    QTemporaryDir m_program; // help/index.html, help/us0005.html
    TFakeDesktop m_desktop;
    std::unique_ptr<TMainWindow> m_window;

    template <typename T = QAction> T* find(const char* name) const
    {
        T* found = m_window->findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }
    void setLocation(const QString& text) { find<QComboBox>("comboPath")->setEditText(text); }
    QStringList lines() const
    {
        QStringList all;
        for (qsizetype i = 0; i < m_window->Result().LineCount(); ++i)
            all << m_window->Result().Line(i).toString();
        return all;
    }
    // A run with only the walker's lines: preset "Files, full path" without the header.
    void listPlain(const char* action = "actionListNormal")
    {
        setLocation(m_tree.path());
        find(action)->trigger();
    }

    // Keys as the platform gives them: to the window, through shortcut override and focus.
    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(m_window->windowHandle(), key, modifiers);
    }
    void activate()
    {
        QApplication::setActiveWindow(m_window.get());
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    }

    // Acts on the modal dialog (of that name, when given) once it runs its own loop.
    void whenModal(std::function<void(QWidget*)> act, const QString& name = QString())
    {
        auto* poll = new QTimer(m_window.get());
        connect(poll, &QTimer::timeout, poll, [poll, act, name] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (dialog && dialog->isVisible() && (name.isEmpty() || dialog->objectName() == name)) {
                poll->deleteLater();
                poll->stop();
                act(dialog);
            }
        });
        poll->start(10);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QDir(m_tree.path()).mkdir(QStringLiteral("sub"));
        writeFile(m_tree.filePath(QStringLiteral("a.txt")), "aaaa");
        writeFile(m_tree.filePath(QStringLiteral("b.log")), "b");
        writeFile(m_tree.filePath(QStringLiteral("sub/c.txt")), "c");
        QDir(m_program.path()).mkdir(QStringLiteral("help"));
        writeFile(m_program.filePath(QStringLiteral("help/index.html")), "<html/>");
        writeFile(m_program.filePath(QStringLiteral("help/us0005.html")), "<html/>");
        QDir(m_program.path()).mkdir(QStringLiteral("saved"));
        writeFile(m_program.filePath(QStringLiteral("saved/disk1.jsonl")),
                  "{\"type\":\"folder\",\"path\":\"/m/\",\"depth\":0}\n");
        writeFile(m_program.filePath(QStringLiteral("saved/disk2.csv")),
                  "\xEF\xBB\xBFtype,path,name,size,modified,depth,hidden\r\n"
                  "folder,/m/,m,,,0,false\r\n");
        writeFile(m_program.filePath(QStringLiteral("saved/sheet.csv")), "a,b\r\n1,2\r\n");
        TInfo info;
        info.ProgramFolder = m_program.path() + u'/';
        info.DesktopFolder = m_tree.path() + u'/';
        info.LanguageCode = QStringLiteral("us");
        ReplaceInfo(info);
    }

    void init()
    {
        // Stored settings: "Files, full path" with no header, so the result is predictable.
        m_desktop = TFakeDesktop();
        m_window = ShowFreshWindow(m_desktop);
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }
    void cleanup() { m_window.reset(); }

    void startsIdleWithAllFiles()
    {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Dirka 2.1"));
        QCOMPARE(find<QComboBox>("comboFilter")->currentText(), QStringLiteral("All files"));
        QCOMPARE(find<QComboBox>("comboFilter")->count(), 21);
        QCOMPARE(find<QComboBox>("comboPath")->currentText(),
                 QStringLiteral("<Desktop> | <My Documents>"));
        QCOMPARE(m_window->SaveEncoding(), 5);
        for (const char* name : {"actionSaveAs", "actionExportToM3U8", "actionCopyResult",
                                 "actionClear", "actionStop"})
            QVERIFY2(!find(name)->isEnabled(), name);
        QVERIFY(!find<QPushButton>("btnStop")->isVisible());
        QVERIFY(!find<TFindPanel>("panelFind")->isVisible());
    }

    // While a run lists, only Stop and the commands that cannot disturb it stay enabled.
    void busyAndIdleStates()
    {
        QStringList enabledWhileBusy;
        QString stopKey;
        bool memoHidden = false;
        QTimer::singleShot(0, m_window.get(), [&] {
            for (QAction* action :
                 m_window->findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) {
                if (action->isEnabled() && action->objectName().startsWith(u"action"))
                    enabledWhileBusy << action->objectName();
            }
            stopKey = find("actionStop")->shortcut().toString();
            memoHidden = !m_window->ResultView()->isVisible();
        });
        listPlain();
        enabledWhileBusy.sort();
        QCOMPARE(enabledWhileBusy, (QStringList{"actionCheckLatest", "actionError", "actionExit",
                                                "actionHelpF1", "actionMaximize", "actionMinimize",
                                                "actionOnlineHelp", "actionShowHideFindPanel",
                                                "actionStop", "actionSupport", "actionWebPage"}));
        QCOMPARE(stopKey, QStringLiteral("Esc"));
        QVERIFY(memoHidden);
        // Idle again: the result commands follow the result, Stop has no key.
        for (const char* name : {"actionSaveAs", "actionExportToM3U8", "actionCopyResult",
                                 "actionClear", "actionListNormal", "actionFind"})
            QVERIFY2(find(name)->isEnabled(), name);
        QVERIFY(!find("actionStop")->isEnabled());
        QVERIFY(find("actionStop")->shortcut().isEmpty());
        QVERIFY(m_window->ResultView()->isVisible());
        QVERIFY(lines().size() > 3);
    }

    // Every command has an action of its own, which the window enables as the command table
    // says for the state it is in.
    void everyCommandHasItsAction_data()
    {
        QTest::addColumn<QString>("state");
        for (const char* state : {"idle", "with a result", "busy", "exporting"})
            QTest::newRow(state) << state;
    }
    void everyCommandHasItsAction()
    {
        QFETCH(QString, state);
        QList<QAction*> actions;
        QList<bool> enabled;
        const auto look = [&] {
            for (std::size_t i = 0; i < CommandCount; ++i) {
                actions << m_window->Action(TCommand(i));
                enabled << actions.last()->isEnabled();
            }
        };
        TWindowState expected;
        QTemporaryDir out;
        if (state == u"idle") {
            look();
        } else if (state == u"with a result") {
            listPlain();
            look();
            expected.HasResult = true;
        } else if (state == u"busy") {
            QTimer::singleShot(0, m_window.get(), look);
            listPlain();
            expected.Busy = true;
        } else {
            listPlain();
            m_desktop.SaveName = out.filePath(QStringLiteral("list.html"));
            whenModal(
                [&](QWidget* dialog) {
                    look();
                    dialog->close();
                },
                QStringLiteral("dlgExport"));
            find("actionExportToHTML")->trigger();
            expected = {.HasResult = true, .Exporting = true};
        }
        QCOMPARE(actions.size(), qsizetype(CommandCount));
        QList<QAction*> named;
        for (QAction* action :
             m_window->findChildren<QAction*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (action->objectName().startsWith(u"action"))
                named << action;
        }
        QCOMPARE(QSet<QAction*>(actions.begin(), actions.end()),
                 QSet<QAction*>(named.begin(), named.end()));
        QCOMPARE(named.size(), actions.size());
        const TCommandStates states = CommandStates(expected);
        for (std::size_t i = 0; i < CommandCount; ++i)
            QVERIFY2(enabled[i] == states.Enabled[i], qPrintable(actions[i]->objectName()));
    }

    void closingDuringARunStopsItFirst()
    {
        QTimer::singleShot(0, m_window.get(), [this] { m_window->close(); });
        listPlain();
        QVERIFY(lines().contains(QStringLiteral(":: Stopped!")));
        QTRY_VERIFY(!m_window->isVisible());
    }

    void refusedRunsChangeNothing_data()
    {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("warning");
        QTest::newRow("separator entry") << 2 << "."
                                         << "Choose what to search for.";
        QTest::newRow("missing folder") << 0 << "/no/such/folder"
                                        << "Specified location doesn't exists.";
        QTest::newRow("empty location") << 0 << ""
                                        << "Specified location doesn't exists.";
    }
    void refusedRunsChangeNothing()
    {
        QFETCH(int, filter);
        QFETCH(QString, location);
        QFETCH(QString, warning);
        find<QComboBox>("comboFilter")->setCurrentIndex(filter);
        setLocation(location == u"." ? m_tree.path() : location);
        find("actionListNormal")->trigger();
        QCOMPARE(m_desktop.Calls, QStringList{u"warning " + warning});
        QCOMPARE(m_window->Result().LineCount(), 0);
        QVERIFY(!find("actionClear")->isEnabled());
    }

    // After the warning the focus is on the box to change: "Search for" when it names no masks;
    // a missing location leaves it where it was.
    void refusalFocusesTheBoxToChange_data()
    {
        QTest::addColumn<int>("filter");
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("focused");
        QTest::newRow("separator entry") << 2 << "."
                                         << "comboFilter";
        QTest::newRow("missing folder") << 0 << "/no/such/folder"
                                        << "memo";
    }
    void refusalFocusesTheBoxToChange()
    {
        QFETCH(int, filter);
        QFETCH(QString, location);
        QFETCH(QString, focused);
        find<QComboBox>("comboFilter")->setCurrentIndex(filter);
        setLocation(location == u"." ? m_tree.path() : location);
        activate();
        m_window->ResultView()->setFocus();
        key(Qt::Key_F6);
        QCOMPARE(m_desktop.Calls.size(), 1);
        QVERIFY(m_desktop.Calls.first().startsWith(u"warning "));
        QCOMPARE(QApplication::focusWidget(), find<QWidget>(focused.toLatin1().constData()));
    }

    // Options hands its copy back on OK: the window selects the entry and stores the settings;
    // when they cannot be stored, a warning names the reason and they stay in force.
    void optionsOkSelectsAndStores_data()
    {
        QTest::addColumn<bool>("blocked");
        QTest::newRow("stored") << false;
        QTest::newRow("cannot be stored") << true;
    }
    void optionsOkSelectsAndStores()
    {
        QFETCH(bool, blocked);
        const QString config =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
        const QString folder = config + u"/Pelmora";
        QDir(folder).removeRecursively();
        if (blocked)
            writeFile(folder, "a file where the folder belongs");
        whenModal([](QWidget* dialog) {
            dialog->findChild<QComboBox*>(QStringLiteral("comboFilter"))->setCurrentIndex(13);
            dialog->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
        });
        find("actionOptions")->trigger();
        QCOMPARE(find<QComboBox>("comboFilter")->currentIndex(), 13);
        QCOMPARE(m_window->Settings().Filter, 13);
        QCOMPARE(QFileInfo(folder + u"/Dirka/2.1.reg").isFile(), !blocked);
        QCOMPARE(m_desktop.Calls.size(), blocked ? 1 : 0);
        if (blocked) {
            QVERIFY(m_desktop.Calls.first().startsWith(
                u"warning The settings could not be saved.\r\n"));
            QFile::remove(folder);
        }
    }

    void clearCopyAndTheResultCommandRule()
    {
        listPlain();
        find("actionCopyResult")->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), m_window->Result().WholeText());
        QCOMPARE(m_window->ResultView()->SelectionLength(), m_window->Result().Size());
        find("actionClear")->trigger();
        QCOMPARE(m_window->Result().LineCount(), 0);
        QCOMPARE(m_window->Result().PathOf(0), QString());
        QCOMPARE(find<QLabel>("panelStatusBar")->text(), QString());
        for (const char* name :
             {"actionSaveAs", "actionExportToM3U8", "actionCopyResult", "actionClear"})
            QVERIFY2(!find(name)->isEnabled(), name);
    }

    void stopKeepsTheLinesSoFar()
    {
        QTimer::singleShot(0, m_window.get(), [this] { find("actionStop")->trigger(); });
        listPlain();
        const QStringList all = lines();
        QVERIFY(all.size() >= 4);
        QCOMPARE(all.at(all.size() - 2), QStringLiteral(":: Stopped!"));
        QVERIFY(find<QLabel>("panelStatusBar")->text().endsWith(u"   (Stopped)"));
        QVERIFY(!m_desktop.Calls.join(u' ').contains(u"sound"));
    }

    // Double-click opens the line's item; with Ctrl held at the press, the file manager shows
    // it; a line without an item is only selected.
    void openAndExplore_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("lineText"); // a line ending in this
        QTest::addColumn<QString>("call");     // %1 the tree
        QTest::newRow("open a file") << "actionOpen"
                                     << "a.txt"
                                     << "open %1/a.txt";
        QTest::newRow("explore a file") << "actionExplore"
                                        << "a.txt"
                                        << "show %1/a.txt";
        QTest::newRow("open a folder") << "actionOpen"
                                       << "sub/"
                                       << "open %1/sub/";
        QTest::newRow("header line") << "actionOpen"
                                     << "Listing Completed."
                                     << "";
    }
    void openAndExplore()
    {
        QFETCH(QString, action);
        QFETCH(QString, lineText);
        QFETCH(QString, call);
        listPlain();
        const QStringList all = lines();
        qsizetype line = -1;
        for (qsizetype i = 0; i < all.size() && line < 0; ++i)
            if (all[i].endsWith(lineText))
                line = i;
        QVERIFY2(line >= 0, qPrintable(all.join(u'\n')));
        m_window->ResultView()->Select(m_window->Result().LineStart(line) + 1, 0);
        m_desktop.Calls.clear();
        find(action.toLatin1().constData())->trigger();
        QCOMPARE(m_desktop.Calls,
                 call.isEmpty() ? QStringList() : QStringList{call.arg(m_tree.path())});
        QCOMPARE(m_window->ResultView()->SelectedText(), all[line]);
    }

    void helpPageOfTheFocusedControl()
    {
        activate();
        find("actionFind")->trigger();
        QVERIFY(find<QLineEdit>("edFind")->hasFocus());
        key(Qt::Key_F1, Qt::ShiftModifier);
        QCOMPARE(m_desktop.Calls, QStringList());
        key(Qt::Key_F1);
        QCOMPARE(m_desktop.Calls, QStringList{u"open " + m_program.path() + u"/help/us0005.html"});
        m_desktop.Calls.clear();
        find<QComboBox>("comboPath")->setFocus();
        key(Qt::Key_F1);
        QCOMPARE(m_desktop.Calls, QStringList{u"open " + m_program.path() + u"/help/index.html"});
    }

    // Whole words, case and wrap-around through the panel's own keys.
    void findPanel_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<bool>("wholeWords");
        QTest::addColumn<bool>("caseSensitive");
        QTest::addColumn<QList<int>>("starts"); // after each Enter; -1 beeped and kept
        QTest::newRow("aaa/aa wraps") << "aaa"
                                      << "aa" << false << false << QList<int>{0, 1, -1};
        QTest::newRow("whole words") << "catalog log.txt logs"
                                     << "log" << true << false << QList<int>{8, -1};
        QTest::newRow("folded case") << "x\u00E9"
                                     << "\u00C9" << false << false << QList<int>{1, -1};
        QTest::newRow("exact case") << "x\u00E9"
                                    << "\u00C9" << false << true << QList<int>{-1};
    }
    void findPanel()
    {
        QFETCH(QString, text);
        QFETCH(QString, pattern);
        QFETCH(bool, wholeWords);
        QFETCH(bool, caseSensitive);
        QFETCH(QList<int>, starts);
        m_window->Lines().AppendLine(text);
        m_window->ResultChanged();
        find("miWholeWordsOnly")->setChecked(wholeWords);
        find("miCaseSensitive")->setChecked(caseSensitive);
        find("actionFind")->trigger();
        QLineEdit* edit = find<QLineEdit>("edFind");
        activate();
        QVERIFY(edit->hasFocus());
        edit->setText(pattern);
        qsizetype last = -1;
        for (int start : starts) {
            m_desktop.Calls.clear();
            key(Qt::Key_Return);
            const bool beeped = m_desktop.Calls == QStringList{"beep"};
            if (start < 0) {
                QVERIFY(beeped);
                if (last >= 0 && pattern.size() <= text.size() && starts.size() > 1)
                    QCOMPARE(m_window->ResultView()->SelectionStart(), qsizetype(starts.first()));
                continue;
            }
            QCOMPARE(m_window->ResultView()->SelectionStart(), qsizetype(start));
            QCOMPARE(m_window->ResultView()->SelectionLength(), pattern.size());
            last = start;
        }
        key(Qt::Key_Escape);
        QVERIFY(!find<TFindPanel>("panelFind")->isVisible());
        QVERIFY(m_window->ResultView()->hasFocus());
    }

    void saveAsInEachEncoding_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("UTF-8 with BOM") << "miUTF8bom"
                                        << QByteArray("\xEF\xBB\xBF"
                                                      "a\r\n\xC3\xA9");
        QTest::newRow("UTF-8") << "miUTF8" << QByteArray("a\r\n\xC3\xA9");
        QTest::newRow("Unicode") << "miUnicode"
                                 << QByteArray("\xFF\xFE"
                                               "a\0\r\0\n\0\xE9\0",
                                               10);
    }
    void saveAsInEachEncoding()
    {
        QFETCH(QString, entry);
        QFETCH(QByteArray, bytes);
        m_window->Lines().AppendLine(u"a");
        m_window->Lines().AppendLine(u"\u00E9");
        m_window->ResultChanged();
        QTemporaryDir out;
        m_desktop.SaveName = out.filePath(QStringLiteral("saved.txt"));
        find(entry.toLatin1().constData())->trigger();
        find("actionSaveAs")->trigger();
        QCOMPARE(readAll(*m_desktop.SaveName), bytes);
        // The dialog starts in the stored save folder, "<Desktop>".
        QCOMPARE(m_desktop.Calls, QStringList{u"dialog Save As in " + m_tree.path()});
    }

    // The page export asks where to write in the stored save folder, writes the page at once and
    // shows it in its own dialog.
    void exportToHtmlWritesThePage()
    {
        listPlain();
        QTemporaryDir out;
        m_desktop.SaveName = out.filePath(QStringLiteral("list.html"));
        whenModal([](QWidget* dialog) { dialog->close(); }, QStringLiteral("dlgExport"));
        find("actionExportToHTML")->trigger();
        QCOMPARE(m_desktop.Calls,
                 QStringList{u"dialog Export to HTML Web Page As in " + m_tree.path()});
        QVERIFY(readAll(*m_desktop.SaveName).contains("a.txt</a>"));
    }

    void failedSaveShowsTheNumberedError()
    {
        m_window->Lines().AppendLine(u"a");
        m_window->ResultChanged();
        m_desktop.SaveName = QStringLiteral("/no/such/folder/x.txt");
        find("actionSaveAs")->trigger();
        QCOMPARE(m_desktop.Calls.size(), 2);
        QCOMPARE(m_desktop.Calls.last(),
                 QStringLiteral("error Error #4021. Problem during saving file.\r\n"
                                "/no/such/folder/x.txt: No such file or directory"));
    }

    // One existing item lists its folder one level deep, taken as a copy or a link; a drop
    // that would do nothing is refused at entry and at the drop, so its source keeps its items.
    void drops_data()
    {
        QTest::addColumn<QStringList>("items"); // in the tree; "moz:" items as text/x-moz-url
        QTest::addColumn<int>("offered");       // Qt::DropActions the source allows
        QTest::addColumn<int>("taken");         // the action accepted; 0 refused
        const int any = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        QTest::newRow("one file") << QStringList{u"sub/c.txt"_qs} << any << int(Qt::CopyAction);
        QTest::newRow("a move becomes a copy")
            << QStringList{u"sub/c.txt"_qs} << int(Qt::MoveAction | Qt::CopyAction)
            << int(Qt::CopyAction);
        QTest::newRow("or a link") << QStringList{u"sub"_qs} << int(Qt::MoveAction | Qt::LinkAction)
                                   << int(Qt::LinkAction);
        QTest::newRow("move only") << QStringList{u"sub/c.txt"_qs} << int(Qt::MoveAction) << 0;
        QTest::newRow("two items") << QStringList{u"sub/c.txt"_qs, u"a.txt"_qs} << any << 0;
        QTest::newRow("two as mozilla urls")
            << QStringList{u"moz:sub/c.txt"_qs, u"moz:a.txt"_qs} << any << 0;
        QTest::newRow("nothing there") << QStringList{u"no such file"_qs} << any << 0;
        // A saved listing is the location itself, not its folder.
        QTest::newRow("a saved listing")
            << QStringList{u"saved/disk1.jsonl"_qs} << any << int(Qt::CopyAction);
        QTest::newRow("a saved listing in CSV")
            << QStringList{u"saved/disk2.csv"_qs} << any << int(Qt::CopyAction);
        // Any other CSV file is a file like any other: its folder is listed.
        QTest::newRow("a spreadsheet's CSV")
            << QStringList{u"saved/sheet.csv"_qs} << any << int(Qt::CopyAction);
    }
    void drops()
    {
        QFETCH(QStringList, items);
        QFETCH(int, offered);
        QFETCH(int, taken);
        auto* mime = new QMimeData;
        QList<QUrl> urls;
        QString moz;
        for (const QString& item : std::as_const(items)) {
            const QTemporaryDir& dir = item.startsWith(u"saved/") ? m_program : m_tree;
            urls << QUrl::fromLocalFile(dir.filePath(QString(item).remove(u"moz:"_qs)));
            if (item.startsWith(u"moz:"))
                moz += urls.last().toString() + u'\n' + item + u'\n';
        }
        if (moz.isEmpty()) {
            mime->setUrls(urls);
        } else {
            // What Qt's X11 drop gives for such a source: the first address alone.
            mime->setUrls({urls.first()});
            mime->setData(u"text/x-moz-url"_qs,
                          QByteArray(reinterpret_cast<const char*>(moz.utf16()), moz.size() * 2));
        }
        setLocation(u"/before"_qs);
        const auto actions = Qt::DropActions(offered);
        // A drop reaches the widget that accepted the drag's entry.
        QDragEnterEvent enter(QPoint(50, 50), actions, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_window.get(), &enter);
        QCOMPARE(enter.isAccepted(), taken != 0);
        QDropEvent drop(QPointF(50, 50), actions, mime, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_window.get(), &drop);
        QCOMPARE(drop.isAccepted(), taken != 0);
        if (taken != 0) {
            QCOMPARE(int(enter.dropAction()), taken);
            QCOMPARE(int(drop.dropAction()), taken);
            const QFileInfo first(urls.first().toLocalFile());
            QCOMPARE(find<QComboBox>("comboPath")->currentText(),
                     first.isDir() || first.suffix() == u"jsonl" || first.fileName() == u"disk2.csv"
                         ? first.filePath()
                         : first.path());
            QVERIFY(lines().join(u'\n').contains(u":: Search for: All files; Depth: 1"));
        } else {
            QCOMPARE(find<QComboBox>("comboPath")->currentText(), u"/before"_qs);
            QVERIFY(lines().isEmpty());
        }
        delete mime;
    }

    void enterInTheLocationBoxLists()
    {
        activate();
        key(Qt::Key_L, Qt::ControlModifier);
        QVERIFY(find<QComboBox>("comboPath")->hasFocus());
        setLocation(m_tree.path());
        key(Qt::Key_Return);
        QVERIFY(lines().join(u'\n').contains(u"a.txt"));
        // Enter in "Search for" too.
        find("actionClear")->trigger();
        key(Qt::Key_K, Qt::ControlModifier);
        QVERIFY(find<QComboBox>("comboFilter")->hasFocus());
        key(Qt::Key_Enter, Qt::KeypadModifier);
        QVERIFY(lines().join(u'\n').contains(u"a.txt"));
    }

    // Every command's shortcut runs it, whichever box has the focus.
    void shortcutsFromEveryControl_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("action");
        const char* const controls[] = {"comboPath", "comboFilter", "memo", "edFind"};
        // Not here: Stop (no key when idle), the test error (ends the program).
        const char* const actions[] = {
            "actionListNormal",  "actionListDepth1", "actionOptions",        "actionListStyle",
            "actionCopyResult",  "actionClear",      "actionSelectAll",      "actionFind",
            "actionFindNext",    "actionFindBack",   "actionLocationSelect", "actionLocationEnter",
            "actionFilterEnter", "actionSaveAs",     "actionExportToM3U8",   "actionExportToHTML",
            "actionOpen",        "actionExplore",    "actionMaximize",       "actionHelpF1"};
        for (const char* control : controls)
            for (const char* action : actions)
                QTest::addRow("%s %s", control, action) << control << action;
    }
    void shortcutsFromEveryControl()
    {
        QFETCH(QString, control);
        QFETCH(QString, action);
        listPlain();
        activate();
        find("actionFind")->trigger(); // the find box is shown for every row
        find<QWidget>(control.toLatin1().constData())->setFocus();
        QAction* command = find(action.toLatin1().constData());
        QVERIFY(command->isEnabled());
        QSignalSpy triggered(command, &QAction::triggered);
        whenModal([](QWidget* dialog) { dialog->close(); });
        const QKeyCombination shortcut = command->shortcut()[0];
        key(shortcut.key(), shortcut.keyboardModifiers());
        QCOMPARE(triggered.count(), 1);
    }

    // Ctrl+E shows the current line's item from the boxes too, where a line edit would move
    // its cursor to the end.
    void exploreFromTheBoxes_data()
    {
        QTest::addColumn<QString>("control");
        for (const char* control : {"comboPath", "edFind", "memo"})
            QTest::newRow(control) << control;
    }
    void exploreFromTheBoxes()
    {
        QFETCH(QString, control);
        listPlain();
        activate();
        find("actionFind")->trigger();
        const QString a = m_tree.filePath(QStringLiteral("a.txt"));
        m_window->ResultView()->Select(m_window->Result().WholeText().indexOf(u"a.txt"), 0);
        find<QWidget>(control.toLatin1().constData())->setFocus();
        m_desktop.Calls.clear();
        key(Qt::Key_E, Qt::ControlModifier);
        QCOMPARE(m_desktop.Calls, QStringList{u"show " + a});
    }

    // The same folder listed again gives a result as long as the one scrolled to its end:
    // only a reset scroll bar brings the new one to its top.
    void newListingStartsAtTheTop()
    {
        QTemporaryDir many;
        for (int i = 0; i < 300; ++i)
            writeFile(many.filePath(u"f%1.txt"_qs.arg(i, 3, 10, QChar(u'0'))), "x");
        setLocation(many.path());
        find("actionListNormal")->trigger();
        const qsizetype lineCount = m_window->Result().LineCount();
        m_window->ResultView()->Select(m_window->Result().Size() - 3, 2);
        QVERIFY(m_window->ResultView()->verticalScrollBar()->value() > 0);
        find("actionListNormal")->trigger();
        QCOMPARE(m_window->Result().LineCount(), lineCount);
        QCOMPARE(m_window->ResultView()->SelectionStart(), 0);
        QCOMPARE(m_window->ResultView()->SelectionLength(), 0);
        QCOMPARE(m_window->ResultView()->verticalScrollBar()->value(), 0);
    }

    // The platform hands a drag to the widget under it that accepts drops, or to its nearest
    // parent that does: every control of the window leaves drops to the window.
    void dropsAnywhereReachTheWindow_data()
    {
        QTest::addColumn<QString>("control");
        for (const char* control : {"comboPath", "comboFilter", "memo", "edFind", "toolBar"})
            QTest::newRow(control) << control;
    }
    void dropsAnywhereReachTheWindow()
    {
        QFETCH(QString, control);
        find("actionFind")->trigger();
        auto* target = control == u"toolBar" ? m_window->findChild<QWidget*>("ToolBar")
                                             : find<QWidget>(control.toLatin1().constData());
        const QPoint at = target->mapTo(m_window.get(), target->rect().center());
        QWidget* taker = m_window->childAt(at);
        while (taker && !taker->acceptDrops())
            taker = taker->parentWidget();
        QCOMPARE(taker, m_window.get());
    }

    void playlistDialogReopensWhereLastUsed()
    {
        listPlain();
        QTemporaryDir out;
        m_desktop.SaveName = out.filePath(QStringLiteral("p2.m3u8"));
        find("actionExportToM3U8")->trigger();
        QVERIFY(QFile::exists(*m_desktop.SaveName));
        auto* dialog = m_window->findChild<QFileDialog*>("saveDialogM3U8");
        QCOMPARE(dialog->directory().path(), out.path());
        QCOMPARE(dialog->selectedFiles(), QStringList{out.filePath(QStringLiteral("p2.m3u8"))});
    }

    // The records come from the result's items, reopen where last used, and fail by number.
    void recordExports_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("dialogName");
        QTest::addColumn<QByteArray>("aRecord");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("title"); // as every save dialog's, ending in "As"
        QTest::newRow("csv") << u"actionExportToCSV"_qs << u"saveDialogCSV"_qs
                             << QByteArray("file,") << u"Error #4024/10. Problem during CSV"_qs
                             << u"Export to CSV As"_qs;
        QTest::newRow("json") << u"actionExportToJSON"_qs << u"saveDialogJSON"_qs
                              << QByteArray("{\"type\":\"file\",")
                              << u"Error #4025/10. Problem during JSON"_qs
                              << u"Export to JSON As"_qs;
    }
    void recordExports()
    {
        QFETCH(QString, action);
        QFETCH(QString, dialogName);
        QFETCH(QByteArray, aRecord);
        QFETCH(QString, error);
        listPlain();
        QTemporaryDir out;
        m_desktop.SaveName = out.filePath(QStringLiteral("records"));
        find(action.toLatin1().constData())->trigger();
        const QByteArray written = readAll(*m_desktop.SaveName);
        const QByteArray path = m_tree.filePath(QStringLiteral("a.txt")).toUtf8();
        QVERIFY2(written.contains(QByteArray(aRecord + path)) ||
                     written.contains(QByteArray(aRecord + "\"path\":\"" + path)),
                 written.constData());
        QVERIFY(!written.contains("Files:")); // lines without an item are no records
        auto* dialog = m_window->findChild<QFileDialog*>(dialogName);
        QCOMPARE(dialog->directory().path(), out.path());
        QFETCH(QString, title);
        QCOMPARE(dialog->windowTitle(), title);
        m_desktop.SaveName = QStringLiteral("/no/such/folder/r");
        find(action.toLatin1().constData())->trigger();
        QVERIFY2(m_desktop.Calls.last().startsWith(u"error " + error),
                 qPrintable(m_desktop.Calls.last()));
        QVERIFY(find(action.toLatin1().constData())->isEnabled());
    }

    // A result kept across runs starts anew at Clear: the records count their depths from the
    // locations listed since, not from one whose lines are gone.
    void clearForgetsTheListedLocations()
    {
        whenModal([](QWidget* dialog) {
            dialog->findChild<QCheckBox*>(QStringLiteral("cbClearMemo"))->setChecked(false);
            dialog->findChild<QPushButton*>(QStringLiteral("btnOK"))->click();
        });
        find("actionOptions")->trigger();
        QVERIFY(!m_window->Settings().IsClear);
        setLocation(m_tree.filePath(QStringLiteral("sub")));
        find("actionListNormal")->trigger();
        find("actionClear")->trigger();
        listPlain();
        QTemporaryDir out;
        m_desktop.SaveName = out.filePath(QStringLiteral("r.csv"));
        find("actionExportToCSV")->trigger();
        const QByteArray path = m_tree.filePath(QStringLiteral("sub/")).toUtf8();
        const QByteArray written = readAll(*m_desktop.SaveName);
        const qsizetype at = written.indexOf(QByteArray("folder," + path + ",sub,"));
        QVERIFY2(at >= 0, written.constData());
        const QByteArray record = written.mid(at, written.indexOf("\r\n", at) - at);
        // A level below the location listed last, not the location listed before Clear (0).
        QVERIFY2(record.endsWith(",1,false"), record.constData());
    }

    void locationListIsAsWideAsItsLongestEntry()
    {
        auto* box = find<QComboBox>("comboPath");
        const QString longest =
            QStringLiteral("/mnt/a-rather-long-mount-point/of/many/levels  <RAM>");
        box->addItem(longest);
        box->showPopup();
        const int needed = box->view()->fontMetrics().horizontalAdvance(longest);
        QVERIFY2(box->view()->width() > needed, qPrintable(QString::number(box->view()->width())));
        box->hidePopup();
    }

    void windowTitlesAreTheCaptionsAlone()
    {
        QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    }

    void commandLineLocationListsAfterStart()
    {
        m_window.reset();
        m_window =
            std::make_unique<TMainWindow>(m_desktop, m_tree.filePath(QStringLiteral("a.txt")));
        m_window->show();
        QTRY_VERIFY(m_window->Result().LineCount() > 0);
        QCOMPARE(find<QComboBox>("comboPath")->currentText(), m_tree.path());
        const QString all = lines().join(u'\n');
        QVERIFY(all.contains(u"; Depth: 1"));
        QVERIFY(!all.contains(u"c.txt")); // one level deep
    }
};

// The program's own application object: F1 is handled there.
int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_main_window.moc"
