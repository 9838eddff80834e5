#include "gui/dialogs/options_rules.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace dirka;

class TestOptionsRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void maskProblem_data()
    {
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("problem");
        const QString none;
        const QString question = QStringLiteral("Don't use question mark character (?).");
        const QString pipe = QStringLiteral("Don't use pipe character (|).");
        const QString stars = QStringLiteral("Too many asterisk characters (*).");
        QTest::newRow("plain") << "*.txt" << none;
        QTest::newRow("two stars") << "*a*" << none;
        QTest::newRow("empty") << "" << none;
        QTest::newRow("three stars") << "*a*b*" << stars;
        QTest::newRow("question") << "a?b" << question;
        QTest::newRow("pipe") << "a|b" << pipe;
        // The checks run in order: only the first problem is named.
        QTest::newRow("question before pipe") << "a?|b" << question;
        QTest::newRow("pipe before stars") << "*|*|*" << pipe;
    }
    void maskProblem()
    {
        QFETCH(QString, mask);
        QFETCH(QString, problem);
        QCOMPARE(MaskProblem(mask), problem);
    }

    void maskRows_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("two") << "*.txt|*.log|" << QStringList{"*.txt", "*.log"};
        QTest::newRow("no final pipe") << "*.txt|*.log" << QStringList{"*.txt", "*.log"};
        QTest::newRow("separator") << "|" << QStringList{};
        QTest::newRow("empty") << "" << QStringList{};
        QTest::newRow("empty piece kept") << "a||b|" << QStringList{"a", "", "b"};
        QTest::newRow("spaces kept") << " a |" << QStringList{" a "};
    }
    void maskRows()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, rows);
        QCOMPARE(MaskRows(text), rows);
        if (text != u"|" && text.endsWith(u'|'))
            QCOMPARE(MaskTextOfRows(rows), text);
    }

    void rowAfterDelete_data()
    {
        QTest::addColumn<int>("deleted");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("row");
        QTest::newRow("middle") << 1 << 3 << 1;
        QTest::newRow("first") << 0 << 3 << 0;
        QTest::newRow("last") << 3 << 3 << 2;
        QTest::newRow("only") << 0 << 0 << -1;
    }
    void rowAfterDelete()
    {
        QFETCH(int, deleted);
        QFETCH(int, count);
        QFETCH(int, row);
        QCOMPARE(RowAfterDelete(deleted, count), row);
    }

    void resetOptionsKeepsMasksAndStyle()
    {
        TSettings settings;
        settings.MaxDepth = 3;
        settings.IsMaxDepth = true;
        settings.IsHiddenFiles = true;
        settings.IsSystemFiles = true;
        settings.IsClear = false;
        settings.IsCopy = true;
        settings.IsSound = false;
        settings.PathList = QStringLiteral("/tmp");
        settings.PathSave = QStringLiteral("/srv");
        settings.Filter = 7;
        settings.FilterMask[18] = QStringLiteral("*.x|");
        settings.Style.Preset = 4;
        settings.Style.IndentSpace = 7;
        TSettings expected;
        expected.FilterMask = settings.FilterMask;
        expected.Style = settings.Style;
        ResetOptions(settings);
        QCOMPARE(settings, expected);
    }

    void missingLocation_data()
    {
        QTest::addColumn<QString>("pathList");
        QTest::addColumn<QString>("pathSave");
        QTest::addColumn<int>("missing");
        const int none = int(TMissingLocation::None);
        const int list = int(TMissingLocation::PathList);
        const int save = int(TMissingLocation::PathSave);
        QTest::newRow("both exist") << "<here>"
                                    << "<here>" << none;
        QTest::newRow("empty list") << ""
                                    << "<here>" << none;
        QTest::newRow("list of two, first exists") << "<here>|/no/such"
                                                   << "<here>" << none;
        QTest::newRow("list missing") << "/no/such"
                                      << "<here>" << list;
        QTest::newRow("list first missing") << "/no/such|<here>"
                                            << "<here>" << list;
        QTest::newRow("list before save") << "/no/such"
                                          << "/no/such" << list;
        QTest::newRow("save missing") << ""
                                      << "/no/such" << save;
        QTest::newRow("save empty") << ""
                                    << "" << save;
        QTest::newRow("desktop") << "<Desktop>"
                                 << "<Desktop>" << none;
        QTest::newRow("desktop unknown") << ""
                                         << "<My Documents>" << save;
    }
    void missingLocation()
    {
        QFETCH(QString, pathList);
        QFETCH(QString, pathSave);
        QFETCH(int, missing);
        QTemporaryDir here;
        TInfo info;
        info.DesktopFolder = here.path() + u'/';
        const auto resolved = [&here](QString text) {
            return text.replace(QStringLiteral("<here>"), here.path());
        };
        TSettings settings;
        settings.PathList = resolved(pathList);
        settings.PathSave = resolved(pathSave);
        QCOMPARE(int(MissingLocation(settings, info)), missing);
    }
};

QTEST_GUILESS_MAIN(TestOptionsRules)
#include "tst_options_rules.moc"
