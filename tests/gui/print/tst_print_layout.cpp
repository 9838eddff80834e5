#include "core/listing/result_text.h"
#include "gui/print/print_command.h"
#include "gui/print/print_layout.h"
#include "gui/print/result_printer.h"

#include "temp_tree.h"
#include "test_support.h"

#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

using namespace dirka;

namespace {

// The lines pdftotext reads on one page of a PDF, blank ones left out.
QStringList pdfPageText(const QString& pdf, int page)
{
    QProcess reader;
    const QString number = QString::number(page);
    reader.start(u"pdftotext"_qs,
                 {u"-layout"_qs, u"-f"_qs, number, u"-l"_qs, number, pdf, u"-"_qs});
    if (!reader.waitForFinished(30000) || reader.exitCode() != 0)
        return {u"pdftotext failed: "_qs + reader.errorString()};
    QStringList lines;
    for (const QString& line : QString::fromUtf8(reader.readAllStandardOutput()).split(u'\n')) {
        if (const QString trimmed = line.trimmed().remove(u'\f'); !trimmed.isEmpty())
            lines << trimmed;
    }
    return lines;
}

} // namespace
using namespace testsupport;

Q_DECLARE_METATYPE(std::vector<dirka::TPageStart>)

class TestPrintLayout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void expandTabs_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("expanded");
        QTest::newRow("no tab") << u"abc"_qs << u"abc"_qs;
        QTest::newRow("to the next stop") << u"ab\tc"_qs << u"ab      c"_qs;
        QTest::newRow("at a stop: a whole stop") << u"abcdefgh\tx"_qs << u"abcdefgh        x"_qs;
        QTest::newRow("two in a row") << u"\t\tx"_qs << QString(16, u' ') + u"x";
        QTest::newRow("indentation and a stop after seven")
            << u"\tabcdefg\tz"_qs << u"        abcdefg z"_qs;
    }
    void expandTabs()
    {
        QFETCH(QString, line);
        QFETCH(QString, expanded);
        QCOMPARE(ExpandTabs(line), expanded);
        QCOMPARE(ExpandedLength(line), expanded.size());
    }

    void rowCount_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("rows");
        QTest::newRow("empty line takes a row") << 0 << 80 << 1;
        QTest::newRow("full row") << 80 << 80 << 1;
        QTest::newRow("one over") << 81 << 80 << 2;
        QTest::newRow("no room still one a unit") << 3 << 0 << 1;
    }
    void rowCount()
    {
        QFETCH(int, length);
        QFETCH(int, columns);
        QFETCH(int, rows);
        QCOMPARE(RowCount(length, columns), rows);
    }

    void paginate_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("rowsPerPage");
        QTest::addColumn<std::vector<TPageStart>>("pages");
        QTest::newRow("empty result: one page")
            << QStringList{} << 10 << 3 << std::vector<TPageStart>{{0, 0}};
        QTest::newRow("exactly full")
            << QStringList{u"a"_qs, u"b"_qs, u"c"_qs} << 10 << 3 << std::vector<TPageStart>{{0, 0}};
        QTest::newRow("one more line, one more page")
            << QStringList{u"a"_qs, u"b"_qs, u"c"_qs, u"d"_qs} << 10 << 3
            << std::vector<TPageStart>{{0, 0}, {3, 0}};
        QTest::newRow("a wrapped line goes on on the next page")
            << QStringList{u"a"_qs, u"b"_qs, QString(25, u'x'), u"d"_qs} << 10 << 3
            << std::vector<TPageStart>{{0, 0}, {2, 1}};
        QTest::newRow("a tab counts as its columns")
            << QStringList{u"a"_qs, u"b"_qs, u"\t\tx"_qs} << 10 << 3
            << std::vector<TPageStart>{{0, 0}, {2, 1}};
        QTest::newRow("a line longer than a page")
            << QStringList{QString(70, u'x')} << 10 << 3
            << std::vector<TPageStart>{{0, 0}, {0, 3}, {0, 6}};
    }
    void paginate()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, columns);
        QFETCH(int, rowsPerPage);
        QFETCH(std::vector<TPageStart>, pages);
        QVERIFY(Paginate(resultOf(lines), columns, rowsPerPage) == pages);
    }

    void pageNumber() { QCOMPARE(PageNumberText(3, 17), u"Page 3 of 17"_qs); }

    // A PDF of as many pages as the layout counts; a stop leaves a partial count behind.
    void printsAPdf()
    {
        QStringList lines;
        for (int i = 0; i < 3000; ++i)
            lines << u"line\t"_qs + QString::number(i);
        const TResultText result = resultOf(lines);
        TTempTree tree;
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(tree.path("out.pdf"));
        int calls = 0;
        const int pages =
            PrintResult(printer,
                        TPrintJob{&result, u"/m/"_qs, u"7 Dec 2026"_qs,
                                  QFontDatabase::systemFont(QFontDatabase::FixedFont)},
                        [&calls](int, int) { return ++calls > 0; });
        QVERIFY(pages > 10 && pages < 300);
        QVERIFY(calls >= pages);
        const QByteArray pdf = readAll(tree.path("out.pdf"));
        QCOMPARE(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r") +
                     pdf.count("/Type /Page/") + pdf.count("/Type /Page>") +
                     pdf.count("/Type /Page "),
                 pages);
        // What is painted: every page its header and its number, and the lines run on from
        // one page to the next.
        int nextLine = 0;
        for (const int page : {1, 2, pages}) {
            const QStringList text = pdfPageText(tree.path("out.pdf"), page);
            QVERIFY2(text.size() > 3, qPrintable(text.join(u'|')));
            QVERIFY2(text.first().startsWith(u"/m/") && text.first().endsWith(u"7 Dec 2026"),
                     qPrintable(text.first()));
            QCOMPARE(text.last(), u"Page %1 of %2"_qs.arg(page).arg(pages));
            const auto numberOn = [&text](qsizetype row) {
                return text.at(row).startsWith(u"line ") ? text.at(row).section(u' ', -1).toInt()
                                                         : -1;
            };
            if (page != pages)
                QCOMPARE(numberOn(1), nextLine);
            nextLine = numberOn(text.size() - 2) + 1;
        }
        QCOMPARE(nextLine, 3000);
        QCOMPARE(PrintResult(printer, TPrintJob{&result, {}, {}, QFont()},
                             [](int done, int) { return done < 2; }),
                 -1);
    }

    // Played as a user would: the preview lays the pages out, Print asks for the printer, the
    // printing is cancelled. The progress says what it does, the preview stays open and no
    // half file is left.
    void cancelledPrintKeepsThePreview()
    {
        QStringList lines;
        for (int i = 0; i < 3000; ++i)
            lines << u"line "_qs + QString::number(i);
        const TResultText result = resultOf(lines);
        TTempTree tree;
        const QString pdf = tree.path("out.pdf");
        QStringList said; // the progress texts, once each, in order
        bool stayedOpen = false;
        int step = 0;
        QTimer user;
        user.setInterval(0);
        connect(&user, &QTimer::timeout, this, [&] {
            auto* preview = findTopLevel<QPrintPreviewDialog>("dlgPrintPreview");
            // Before the preview is shown, its progress window stands alone.
            auto* progress = preview && preview->isVisible()
                                 ? preview->findChild<QProgressDialog*>("dlgPrintProgress")
                                 : findTopLevel<QProgressDialog>("dlgPrintProgress");
            if (progress && progress->maximum() > 0 && !said.contains(progress->labelText()))
                said << progress->labelText();
            if (step == 0 && preview && !progress &&
                preview->windowTitle().startsWith(u"Print Preview - ")) {
                preview->printer()->setOutputFileName(pdf);
                for (QAction* action : preview->findChildren<QAction*>()) {
                    if (action->text() == u"Print")
                        QTimer::singleShot(0, action, &QAction::trigger);
                }
                step = 1;
            } else if (step == 1) {
                if (auto* ask = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget())) {
                    ask->accept();
                    step = 2;
                }
            } else if (step == 2 && progress && progress->labelText().startsWith(u"Printing")) {
                progress->cancel();
                step = 3;
            } else if (step == 3 && preview && !progress) {
                stayedOpen = preview->isVisible();
                preview->reject();
                step = 4;
            }
        });
        user.start();
        RunPrintPreview(nullptr, TPrintJob{&result, u"/m/"_qs, u"7 Dec 2026"_qs,
                                           QFontDatabase::systemFont(QFontDatabase::FixedFont)});
        user.stop();
        QCOMPARE(step, 4);
        QVERIFY(stayedOpen);
        QVERIFY(!QFile::exists(pdf));
        QVERIFY2(said.size() == 2, qPrintable(said.join(u'|')));
        QCOMPARE(said.first(), u"Preparing the preview..."_qs);
        QVERIFY2(QRegularExpression(u"^Printing [0-9]+ pages...$"_qs).match(said.last()).hasMatch(),
                 qPrintable(said.last()));
    }

private:
    template <typename T> static T* findTopLevel(const char* name)
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == QLatin1String(name))
                return qobject_cast<T*>(widget);
        }
        return nullptr;
    }
};

QTEST_MAIN(TestPrintLayout)
#include "tst_print_layout.moc"
