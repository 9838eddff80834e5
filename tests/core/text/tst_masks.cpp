#include "core/settings/settings_records.h"
#include "core/text/masks.h"

#include <QTest>

using namespace dirka;
using namespace Qt::StringLiterals;

class TestMasks : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void matchMask_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("mask");
        QTest::addColumn<bool>("matches");
        const auto row = [](const char* tag, QStringView name, QStringView mask, bool matches) {
            QTest::newRow(tag) << name.toString() << mask.toString() << matches;
        };
        row("tilde extension", u"a.~tmp", u"*.~*", true);
        row("tilde, nothing after", u"x.~", u"*.~*", true);
        row("exact name, other case", u"THUMBS.DB", u"Thumbs.db", true);
        row("extension, other case", u"A.JPG", u"*.jpg", true);
        row("middle matches", u"axBy", u"a*B*", true);
        row("middle is case-sensitive", u"axby", u"a*B*", false);
        row("two adjacent stars", u"xyz", u"x**", false);
        row("two adjacent stars, bare prefix", u"x", u"x**", false);
        row("no star, same", u"abc", u"abc", true);
        row("no star, longer name", u"abcd", u"abc", false);
        row("no star, shorter name", u"a.tx", u"a.txt", false);
        row("one star, prefix and suffix may not overlap", u"aba", u"ab*ba", false);
        row("one star, prefix and suffix meet", u"abba", u"ab*ba", true);
        row("star alone", u"x", u"*", true);
        row("suffix longer than name", u"bc", u"*abc", false);
        row("middle right after prefix", u"abc", u"a*b*c", true);
        row("middle further on", u"acbc", u"a*b*c", true);
        row("middle missing", u"axc", u"a*b*c", false);
        row("middle ending where suffix begins", u"acc", u"a*c*c", true);
        row("middle only inside the suffix", u"aqyx", u"a*x*yx", false);
        row("middle only inside the prefix", u"abx", u"ab*b*", false);
        row("middle is the whole name", u"b", u"*b*", true);
        row("middle other case", u"B", u"*b*", false);
        row("middle and suffix need their own units", u"ab", u"a*b*b", false);
        row("middle and suffix apart", u"abb", u"a*b*b", true);
        row("third star is a character", u"abc*", u"a*b*c*", true);
        row("third star must be there", u"abcd", u"a*b*c*", false);
        row("leading space kept", u"a.txt", u" *.txt", false);
        row("leading space matches", u" a.txt", u" *.txt", true);
        row("trailing space kept", u"a.txt", u"*.txt ", false);
        row("trailing space matches", u"a.txt ", u"*.txt ", true);
        row("inner space", u"a b.txt", u"a b.txt", true);
        row("question mark is a character", u"abc", u"a?c", false);
        row("question mark matches itself", u"a?c", u"a?c", true);
        row("empty mask", u"a", u"", false);
        row("Polish letters, other case", u"\u0141\u00D3D\u0179.TXT", u"\u0142\u00F3d\u017A.txt",
            true);
        row("dotted capital I lowers to i", u"i.txt", u"\u0130.txt", true);
        row("final sigma is not sigma", u"\u03C2.txt", u"\u03A3.txt", false);
        row("pair in suffix", u"x\xD83D\xDE00", u"*\xD83D\xDE00", true);
    }
    void matchMask()
    {
        QFETCH(QString, name);
        QFETCH(QString, mask);
        QFETCH(bool, matches);
        QCOMPARE(MatchMask(name, mask), matches);
    }

    void splitMasks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("masks");
        QTest::newRow("empty") << QString() << QStringList();
        QTest::newRow("bar only") << u"|"_s << QStringList{QString()};
        QTest::newRow("final bar") << u"*.txt|"_s << QStringList{u"*.txt"_s};
        QTest::newRow("no final bar") << u"*.txt"_s << QStringList{u"*.txt"_s};
        QTest::newRow("double bar") << u"a||b"_s << QStringList{u"a"_s, QString(), u"b"_s};
        QTest::newRow("two bars") << u"||"_s << QStringList{QString(), QString()};
        QTest::newRow("spaces kept") << u" a | b "_s << QStringList{u" a "_s, u" b "_s};
    }
    void splitMasks()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, masks);
        QCOMPARE(SplitMasks(text), masks);
    }

    void passesFilter_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("skipList");
        QTest::addColumn<QStringList>("masks");
        QTest::addColumn<bool>("passes");
        const QStringList most = SplitMasks(DefaultFilterMasks()[1]);
        const QStringList text{u"*.log"_s, u"*.txt"_s};
        QTest::newRow("all files, no masks") << u"a.txt"_s << true << QStringList() << true;
        QTest::newRow("all files, skipped")
            << u"a.bak"_s << true << QStringList{u"*.bak"_s} << false;
        QTest::newRow("all files, kept") << u"a.txt"_s << true << QStringList{u"*.bak"_s} << true;
        QTest::newRow("all files, empty mask") << u"a"_s << true << QStringList{QString()} << true;
        QTest::newRow("most files, thumbs") << u"thumbs.DB"_s << true << most << false;
        QTest::newRow("most files, tilde") << u"x.~1"_s << true << most << false;
        QTest::newRow("most files, kept") << u"a.txt"_s << true << most << true;
        QTest::newRow("list-only, listed") << u"a.TXT"_s << false << text << true;
        QTest::newRow("list-only, left out") << u"a.doc"_s << false << text << false;
        QTest::newRow("list-only, no masks") << u"a.txt"_s << false << QStringList() << false;
        QTest::newRow("list-only, empty mask")
            << u"a"_s << false << QStringList{QString()} << false;
        QTest::newRow("separator entry") << u"a"_s << false << QStringList{QString()} << false;
        QTest::newRow("list-only, later mask")
            << u"a.txt"_s << false << QStringList{u"*.doc"_s, QString(), u"*.TXT"_s} << true;
    }
    void passesFilter()
    {
        QFETCH(QString, name);
        QFETCH(bool, skipList);
        QFETCH(QStringList, masks);
        QFETCH(bool, passes);
        QCOMPARE(PassesFilter(name, skipList, masks), passes);
    }

    // Where the masks answer for every name, that answer is PassesFilter's for any name.
    void filterAnswerForEveryName_data()
    {
        QTest::addColumn<bool>("skipList");
        QTest::addColumn<QStringList>("masks");
        QTest::addColumn<int>("answer"); // -1: none
        QTest::newRow("all files") << true << QStringList() << 1;
        QTest::newRow("list-only, no masks") << false << QStringList() << 0;
        QTest::newRow("skip everything") << true << QStringList{u"*.bak"_s, u"*"_s} << 0;
        QTest::newRow("list everything") << false << QStringList{u"*.txt"_s, u"*"_s} << 1;
        QTest::newRow("list-only, text") << false << QStringList{u"*.txt"_s} << -1;
        QTest::newRow("skip, empty mask") << true << QStringList{QString()} << -1;
        QTest::newRow("star and dot") << false << QStringList{u"*.*"_s} << -1;
        QTest::newRow("two stars") << false << QStringList{u"**"_s} << -1;
    }
    void filterAnswerForEveryName()
    {
        QFETCH(bool, skipList);
        QFETCH(QStringList, masks);
        QFETCH(int, answer);
        const std::optional<bool> given = FilterAnswerForEveryName(skipList, masks);
        QCOMPARE(given.has_value() ? int(*given) : -1, answer);
        if (!given)
            return;
        for (const QString& name : {u"a"_s, u"a.txt"_s, u"x.bak"_s, u".hidden"_s, u"noext"_s})
            QCOMPARE(PassesFilter(name, skipList, masks), *given);
    }
};

QTEST_GUILESS_MAIN(TestMasks)
#include "tst_masks.moc"
