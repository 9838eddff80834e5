#include "core/listing/result_text.h"
#include "gui/result_view/result_view.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace dirka;
using namespace Qt::StringLiterals;

namespace {

// "ab" "" "c\td" "xy\U0001F600": a0 b1 | CR2 LF3 | CR4 LF5 | c6 tab7 d8 | CR9 LF10 | x11 y12
// pair13-14.
const QStringList Lines{u"ab"_s, QString(), u"c\td"_s, u"xy\U0001F600"_s};
// "a\tb" "xyz" "\tq" "ż\U0001F600": a0 tab1 b2 | CR3 LF4 | x5 y6 z7 | CR8 LF9 | tab10 q11 | CR12
// LF13 | ż14 pair15-16.
const QStringList TabLines{u"a\tb"_s, u"xyz"_s, u"\tq"_s, u"ż\U0001F600"_s};

struct TFixture {
    TResultText Result;
    TResultView View;

    explicit TFixture(const QStringList& lines)
    {
        for (const QString& line : lines)
            Result.AppendLine(line);
        View.resize(400, 200);
        View.SetResult(&Result);
    }

    // The point on line's row at column character widths right of the text's left edge.
    QPoint PointAt(int line, qreal column)
    {
        QAccessibleTextInterface* text =
            QAccessible::queryAccessibleInterface(&View)->textInterface();
        const QRect first =
            text->characterRect(0).translated(-View.viewport()->mapToGlobal(QPoint(0, 0)));
        const qreal charWidth = QFontMetricsF(View.font()).horizontalAdvance(u'x');
        return QPoint(first.left() + qRound(column * charWidth),
                      first.top() + line * first.height() + first.height() / 2);
    }
};

void verifySelection(const TResultView& view, qsizetype start, qsizetype length, qsizetype caret)
{
    QCOMPARE(view.SelectionStart(), start);
    QCOMPARE(view.SelectionLength(), length);
    QCOMPARE(view.CaretPosition(), caret);
}

} // namespace

class TestResultView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lineFromChar_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("line");
        QTest::newRow("first unit") << Lines << 0 << 0;
        QTest::newRow("CR of line 0") << Lines << 2 << 0;
        QTest::newRow("LF of line 0") << Lines << 3 << 0;
        QTest::newRow("empty line's CR") << Lines << 4 << 1;
        QTest::newRow("start of line 2") << Lines << 6 << 2;
        QTest::newRow("low surrogate") << Lines << 14 << 3;
        QTest::newRow("end of text") << Lines << 15 << 3;
        QTest::newRow("past the end") << Lines << 100 << 3;
        QTest::newRow("negative") << Lines << -5 << 0;
        QTest::newRow("empty result") << QStringList() << 7 << 0;
    }
    void lineFromChar()
    {
        QFETCH(QStringList, lines);
        QFETCH(int, offset);
        QFETCH(int, line);
        TFixture f(lines);
        QCOMPARE(f.View.LineFromChar(offset), line);
    }

    void select_data()
    {
        QTest::addColumn<int>("line"); // SelectLine when >= -1, otherwise Select(start, length)
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("selectionStart");
        QTest::addColumn<QString>("selected");
        QTest::newRow("line 0") << 0 << 0 << 0 << true << 0 << u"ab"_s;
        QTest::newRow("empty line") << 1 << 0 << 0 << true << 4 << QString();
        QTest::newRow("last line") << 3 << 0 << 0 << true << 11 << u"xy\U0001F600"_s;
        QTest::newRow("line -1") << -1 << 0 << 0 << false << 1 << u"b\r"_s;
        QTest::newRow("line past the end") << 4 << 0 << 0 << false << 1 << u"b\r"_s;
        QTest::newRow("across lines") << -2 << 1 << 6 << true << 1 << u"b\r\n\r\nc"_s;
        QTest::newRow("negative start") << -2 << -3 << 2 << true << 0 << u"ab"_s;
        QTest::newRow("length past the end")
            << -2 << 8 << 100 << true << 8 << u"d\r\nxy\U0001F600"_s;
        QTest::newRow("start past the end") << -2 << 20 << 5 << true << 15 << QString();
        QTest::newRow("negative length") << -2 << 2 << -1 << true << 2 << QString();
    }
    void select()
    {
        QFETCH(int, line);
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(bool, answer);
        QFETCH(int, selectionStart);
        QFETCH(QString, selected);
        TFixture f(Lines);
        f.View.Select(1, 2);
        if (line >= -1)
            QCOMPARE(f.View.SelectLine(line), answer);
        else
            f.View.Select(start, length);
        verifySelection(f.View, selectionStart, selected.size(), selectionStart + selected.size());
        QCOMPARE(f.View.SelectedText(), selected);
    }

    void keys_data()
    {
        QTest::addColumn<int>("anchor");
        QTest::addColumn<int>("caret");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("newCaret");
        const int none = Qt::NoModifier, shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier;
        QTest::newRow("Right at a line end skips CR LF")
            << 2 << 2 << +Qt::Key_Right << none << 4 << 0 << 4;
        QTest::newRow("Right from an empty line")
            << 4 << 4 << +Qt::Key_Right << none << 6 << 0 << 6;
        QTest::newRow("Left at a line start") << 6 << 6 << +Qt::Key_Left << none << 4 << 0 << 4;
        QTest::newRow("Shift+Left over CR LF") << 4 << 4 << +Qt::Key_Left << shift << 2 << 2 << 2;
        QTest::newRow("Right over a surrogate pair")
            << 13 << 13 << +Qt::Key_Right << none << 15 << 0 << 15;
        QTest::newRow("Left over a surrogate pair")
            << 15 << 15 << +Qt::Key_Left << none << 13 << 0 << 13;
        QTest::newRow("Right at the end") << 15 << 15 << +Qt::Key_Right << none << 15 << 0 << 15;
        QTest::newRow("Left at the start") << 0 << 0 << +Qt::Key_Left << none << 0 << 0 << 0;
        QTest::newRow("Left collapses a selection")
            << 1 << 6 << +Qt::Key_Left << none << 1 << 0 << 1;
        QTest::newRow("Left collapses a backward selection")
            << 6 << 1 << +Qt::Key_Left << none << 1 << 0 << 1;
        QTest::newRow("Right collapses a selection to its end")
            << 1 << 6 << +Qt::Key_Right << none << 6 << 0 << 6;
        QTest::newRow("Right collapses a backward selection to its end")
            << 6 << 1 << +Qt::Key_Right << none << 6 << 0 << 6;
        QTest::newRow("Shift+End") << 6 << 6 << +Qt::Key_End << shift << 6 << 3 << 9;
        QTest::newRow("Home") << 8 << 8 << +Qt::Key_Home << none << 6 << 0 << 6;
        QTest::newRow("Ctrl+End") << 1 << 1 << +Qt::Key_End << ctrl << 15 << 0 << 15;
        QTest::newRow("Ctrl+Shift+Home")
            << 8 << 8 << +Qt::Key_Home << (ctrl | shift) << 0 << 8 << 0;
        QTest::newRow("Down onto an empty line") << 1 << 1 << +Qt::Key_Down << none << 4 << 0 << 4;
        QTest::newRow("Shift+Up into a tab") << 12 << 12 << +Qt::Key_Up << shift << 7 << 5 << 7;
        QTest::newRow("Down past a shorter line")
            << 8 << 8 << +Qt::Key_Down << none << 15 << 0 << 15;
        QTest::newRow("Ctrl+A") << 3 << 3 << +Qt::Key_A << ctrl << 0 << 15 << 15;
    }
    void keys()
    {
        QFETCH(int, anchor);
        QFETCH(int, caret);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(int, newCaret);
        TFixture f(Lines);
        f.View.show();
        QApplication::setActiveWindow(&f.View);
        QVERIFY(QTest::qWaitForWindowActive(&f.View));
        f.View.SelectFromTo(anchor, caret);
        QTest::keyClick(f.View.windowHandle(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        verifySelection(f.View, start, length, newCaret);
    }

    void mouse_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<double>("column"); // in character widths
        QTest::addColumn<int>("shiftLine"); // -1: no shift+click
        QTest::addColumn<double>("shiftColumn");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("caret");
        QTest::newRow("left half of a") << 0 << 0.3 << -1 << 0.0 << 0 << 0 << 0;
        QTest::newRow("right half of a") << 0 << 0.7 << -1 << 0.0 << 1 << 0 << 1;
        QTest::newRow("early in the tab") << 0 << 3.0 << -1 << 0.0 << 1 << 0 << 1;
        QTest::newRow("late in the tab") << 0 << 6.0 << -1 << 0.0 << 2 << 0 << 2;
        QTest::newRow("left half of b") << 0 << 8.4 << -1 << 0.0 << 2 << 0 << 2;
        QTest::newRow("right half of b") << 0 << 8.6 << -1 << 0.0 << 3 << 0 << 3;
        QTest::newRow("past the line end") << 0 << 30.0 << -1 << 0.0 << 3 << 0 << 3;
        QTest::newRow("second line") << 1 << 1.6 << -1 << 0.0 << 7 << 0 << 7;
        QTest::newRow("after a leading tab") << 2 << 8.6 << -1 << 0.0 << 12 << 0 << 12;
        QTest::newRow("right half of ż") << 3 << 0.6 << -1 << 0.0 << 15 << 0 << 15;
        QTest::newRow("below the last line") << 6 << 0.2 << -1 << 0.0 << 14 << 0 << 14;
        QTest::newRow("shift+click forwards") << 0 << 0.7 << 2 << 8.2 << 1 << 10 << 11;
        QTest::newRow("shift+click backwards") << 1 << 2.0 << 0 << 0.0 << 0 << 7 << 0;
    }
    void mouse()
    {
        QFETCH(int, line);
        QFETCH(double, column);
        QFETCH(int, shiftLine);
        QFETCH(double, shiftColumn);
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(int, caret);
        TFixture f(TabLines);
        QTest::mouseClick(f.View.viewport(), Qt::LeftButton, {}, f.PointAt(line, column));
        if (shiftLine >= 0)
            QTest::mouseClick(f.View.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                              f.PointAt(shiftLine, shiftColumn));
        verifySelection(f.View, start, length, caret);
    }

    // The caret goes before or after a surrogate pair, whatever width its glyph has.
    void clickInSurrogatePair_data()
    {
        QTest::addColumn<double>("fraction");
        QTest::addColumn<int>("caret");
        QTest::newRow("left part") << 0.3 << 15;
        QTest::newRow("right part") << 0.7 << 17;
    }
    void clickInSurrogatePair()
    {
        QFETCH(double, fraction);
        QFETCH(int, caret);
        TFixture f(TabLines);
        const QRect pair = QAccessible::queryAccessibleInterface(&f.View)
                               ->textInterface()
                               ->characterRect(15)
                               .translated(-f.View.viewport()->mapToGlobal(QPoint(0, 0)));
        QVERIFY(pair.width() > 2);
        QTest::mouseClick(f.View.viewport(), Qt::LeftButton, {},
                          pair.topLeft() + QPoint(qRound(fraction * pair.width()), 2));
        QCOMPARE(f.View.CaretPosition(), caret);
    }

    void doubleClick_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<bool>("ctrl");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::newRow("line 1") << 1 << false << 5 << 3;
        QTest::newRow("line 0 with Ctrl") << 0 << true << 0 << 3;
        QTest::newRow("below the last line") << 5 << false << 14 << 3;
    }
    void doubleClick()
    {
        QFETCH(int, line);
        QFETCH(bool, ctrl);
        QFETCH(int, start);
        QFETCH(int, length);
        TFixture f(TabLines);
        QSignalSpy spy(&f.View, &TResultView::LineDoubleClicked);
        QTest::mouseDClick(f.View.viewport(), Qt::LeftButton,
                           ctrl ? Qt::ControlModifier : Qt::NoModifier, f.PointAt(line, 1.2));
        verifySelection(f.View, start, length, start + length);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), ctrl);
    }

    void doubleClickOnEmptyResult()
    {
        TFixture f({});
        QSignalSpy spy(&f.View, &TResultView::LineDoubleClicked);
        QTest::mouseDClick(f.View.viewport(), Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(spy.count(), 0);
    }

    void copy_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("byKey");
        QTest::addColumn<QString>("clipboard");
        QTest::newRow("across lines") << 1 << 6 << false << u"b\r\n\r\nc"_s;
        QTest::newRow("Ctrl+C") << 13 << 2 << true << u"\U0001F600"_s;
        QTest::newRow("nothing selected keeps the clipboard") << 3 << 0 << true << u"before"_s;
    }
    void copy()
    {
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(bool, byKey);
        QFETCH(QString, clipboard);
        TFixture f(Lines);
        QGuiApplication::clipboard()->setText(u"before"_s);
        f.View.Select(start, length);
        if (byKey) {
            f.View.show();
            QApplication::setActiveWindow(&f.View);
            QVERIFY(QTest::qWaitForWindowActive(&f.View));
            QTest::keyClick(f.View.windowHandle(), Qt::Key_C, Qt::ControlModifier);
        } else
            f.View.CopySelection();
        QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
    }

    void resultChangedClamps_data()
    {
        QTest::addColumn<int>("keep");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("newLength");
        QTest::newRow("selection inside kept lines") << 3 << 1 << 6 << 6;
        QTest::newRow("selection over the cut") << 1 << 1 << 10 << 1;
        QTest::newRow("cleared") << 0 << 5 << 4 << 0;
    }
    void resultChangedClamps()
    {
        QFETCH(int, keep);
        QFETCH(int, start);
        QFETCH(int, length);
        QFETCH(int, newLength);
        TFixture f(Lines);
        f.View.Select(start, length);
        f.Result.TruncateLines(keep);
        f.View.ResultChanged();
        const int newStart = keep == 0 ? 0 : start;
        verifySelection(f.View, newStart, newLength, newStart + newLength);
    }

    // The scroll range follows the longest line also when lines are rolled back and appended.
    void horizontalRangeFollowsLongestLine()
    {
        TFixture f({});
        QScrollBar* bar = f.View.horizontalScrollBar();
        for (int i = 0; i < 10000; ++i)
            f.Result.AppendLine(i == 5000 ? QString(300, u'w') : u"short"_s);
        f.View.ResultChanged();
        QVERIFY(bar->maximum() > 0);
        f.Result.TruncateLines(4000);
        f.View.ResultChanged();
        QCOMPARE(bar->maximum(), 0);
        f.Result.AppendLine(QString(300, u'w'));
        f.View.ResultChanged();
        QVERIFY(bar->maximum() > 0);
        // Rolled back and grown past the old count between two calls.
        f.Result.TruncateLines(3000);
        for (int i = 0; i < 2000; ++i)
            f.Result.AppendLine(u"short"_s);
        f.View.ResultChanged();
        QCOMPARE(bar->maximum(), 0);
    }

    // An inactive window keeps the active highlight; a selected line break shows as one cell.
    void selectionPaintedWhenUnfocused()
    {
        TFixture f(Lines);
        QPalette palette = f.View.palette();
        palette.setColor(QPalette::Active, QPalette::Highlight, Qt::blue);
        palette.setColor(QPalette::Inactive, QPalette::Highlight, Qt::red);
        f.View.setPalette(palette);
        f.View.Select(1, 6);
        f.View.show();
        QWidget other;
        other.show();
        QApplication::setActiveWindow(&other);
        QVERIFY(!f.View.isActiveWindow());
        const QImage image = f.View.viewport()->grab().toImage();
        // The row's top pixels hold no glyph.
        const auto top = [&](int line, qreal column) {
            return image.pixelColor(f.PointAt(line, column) - QPoint(0, f.PointAt(0, 0).y() - 1));
        };
        QCOMPARE(top(0, 0.5), palette.color(QPalette::Window));
        QCOMPARE(top(0, 1.5), QColor(Qt::blue));
        QCOMPARE(top(0, 2.5), QColor(Qt::blue));
        QCOMPARE(top(1, 0.5), QColor(Qt::blue));
        QCOMPARE(top(1, 1.5), palette.color(QPalette::Window));
        QCOMPARE(top(2, 4.0), palette.color(QPalette::Window));
    }

    void accessibleText_data()
    {
        QTest::addColumn<int>("boundary");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("at");
        QTest::addColumn<int>("atStart");
        QTest::newRow("line with its break")
            << int(QAccessible::LineBoundary) << 1 << u"ab\r\n"_s << 0;
        QTest::newRow("last line")
            << int(QAccessible::LineBoundary) << 12 << u"xy\U0001F600"_s << 11;
        QTest::newRow("surrogate pair")
            << int(QAccessible::CharBoundary) << 13 << u"\U0001F600"_s << 13;
        QTest::newRow("word") << int(QAccessible::WordBoundary) << 1 << u"ab"_s << 0;
    }
    void accessibleText()
    {
        QFETCH(int, boundary);
        QFETCH(int, offset);
        QFETCH(QString, at);
        QFETCH(int, atStart);
        TFixture f(Lines);
        f.View.Select(1, 5);
        QAccessibleInterface* view = QAccessible::queryAccessibleInterface(&f.View);
        QVERIFY(view->state().readOnly);
        QAccessibleTextInterface* text = view->textInterface();
        QCOMPARE(text->characterCount(), 15);
        QCOMPARE(text->cursorPosition(), 6);
        int start = -1;
        int end = -1;
        text->selection(0, &start, &end);
        QCOMPARE(std::pair(start, end), std::pair(1, 6));
        QCOMPARE(text->textAtOffset(offset, QAccessible::TextBoundaryType(boundary), &start, &end),
                 at);
        QCOMPARE(std::pair(start, end), std::pair(atStart, atStart + int(at.size())));
    }
};

QTEST_MAIN(TestResultView)
#include "tst_result_view.moc"
