#include "core/listing/result_text.h"
#include "gui/widgets/shared_text_mime.h"

#include <QTest>

using namespace dirka;

class TestSharedTextMime : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void handsOverItsPart_data()
    {
        QTest::addColumn<qsizetype>("start");
        QTest::addColumn<qsizetype>("length");
        QTest::addColumn<QString>("text");
        QTest::newRow("whole") << qsizetype(0) << qsizetype(11) << "a\r\n\u0141\r\nc\u00E9 d";
        QTest::newRow("part") << qsizetype(3) << qsizetype(4) << "\u0141\r\nc";
        QTest::newRow("past the end") << qsizetype(8) << qsizetype(50) << " d";
        QTest::newRow("negative start") << qsizetype(-4) << qsizetype(1) << "a";
        QTest::newRow("empty") << qsizetype(2) << qsizetype(0) << "";
    }
    void handsOverItsPart()
    {
        QFETCH(qsizetype, start);
        QFETCH(qsizetype, length);
        QFETCH(QString, text);
        TCompactText lines;
        for (const QStringView line : {u"a", u"\u0141", u"c\u00E9 d"})
            lines.Append(line);
        const TSharedTextMimeData mime(lines, start, length);
        QCOMPARE(mime.formats(), QStringList{QStringLiteral("text/plain")});
        QCOMPARE(mime.text(), text);
        QCOMPARE(mime.data(QStringLiteral("text/plain")), text.toUtf8());
        QVERIFY(mime.data(QStringLiteral("text/html")).isEmpty());
    }

    // The clipboard keeps the result without a copy, and keeps it when the result changes.
    void sharesTheResult()
    {
        TResultText result;
        result.AppendLine(u"first");
        result.AppendLine(u"second");
        const auto mime = std::make_unique<TSharedTextMimeData>(result.Lines());
        TCompactText copy = result.Lines();
        QVERIFY(copy.SharesMemoryWith(result.Lines()));
        result.Clear();
        result.AppendLine(u"other");
        QCOMPARE(mime->text(), QStringLiteral("first\r\nsecond"));
    }
};

QTEST_MAIN(TestSharedTextMime)
#include "tst_shared_text_mime.moc"
