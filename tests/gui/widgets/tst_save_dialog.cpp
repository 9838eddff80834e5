#include "gui/widgets/save_dialog.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace dirka;

class TestSaveDialog : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir; // list/ (a folder), plain.txt, fifo (a FIFO)

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("list")));
        QFile file(m_dir.filePath(QStringLiteral("plain.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(::mkfifo(QFile::encodeName(m_dir.filePath(QStringLiteral("fifo"))), 0600), 0);
    }

    void nameWithSuffix_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("folder"); // "<dir>" is the test folder
        QTest::addColumn<QString>("named");
        QTest::newRow("plain") << "out"
                               << "<dir>"
                               << "out.txt";
        QTest::newRow("has extension") << "out.log"
                                       << "<dir>"
                                       << "out.log";
        QTest::newRow("dot in a folder name only") << "a.b/out"
                                                   << "<dir>"
                                                   << "a.b/out.txt";
        QTest::newRow("existing folder") << "list"
                                         << "<dir>"
                                         << "list";
        QTest::newRow("special file") << "fifo"
                                      << "<dir>"
                                      << "fifo";
        QTest::newRow("device") << "/dev/null"
                                << "<dir>"
                                << "/dev/null";
        QTest::newRow("missing device") << "/dev/no-such-device"
                                        << "<dir>"
                                        << "/dev/no-such-device.txt";
        // A folder of that name elsewhere does not count.
        QTest::newRow("folder elsewhere") << "list"
                                          << "/tmp"
                                          << "list.txt";
        QTest::newRow("empty") << ""
                               << "<dir>"
                               << "";
    }
    void nameWithSuffix()
    {
        QFETCH(QString, typed);
        QFETCH(QString, folder);
        QFETCH(QString, named);
        folder.replace(QStringLiteral("<dir>"), m_dir.path());
        QCOMPARE(NameWithSuffix(typed, folder, QStringLiteral("txt")), named);
    }

    // The program's working folder holds a folder "list"; the dialog's folder does not. The
    // folder holds a FIFO, which a dialog guessing icons from content would block on.
    void typedNameGetsTheSuffixInTheDialogsFolder()
    {
        QTemporaryDir target;
        QVERIFY(::mkfifo(QFile::encodeName(target.filePath(QStringLiteral("pipe"))), 0600) == 0);
        const QString before = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        TSaveDialog dialog(nullptr, QStringLiteral("Save As"), {QStringLiteral("All Files (*)")},
                           QStringLiteral("txt"));
        dialog.setDirectory(target.path());
        QSignalSpy chosen(&dialog, &QFileDialog::fileSelected);
        dialog.show();
        QTest::qWait(200); // the folder's entries are read meanwhile
        auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        QVERIFY(edit);
        edit->setText(QStringLiteral("list"));
        dialog.accept();
        QDir::setCurrent(before);
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(chosen.first().first().toString(), target.filePath(QStringLiteral("list.txt")));
    }
};

QTEST_MAIN(TestSaveDialog)
#include "tst_save_dialog.moc"
