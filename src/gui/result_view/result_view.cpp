#include "gui/result_view/result_view.h"

#include "core/listing/result_text.h"
#include "gui/result_view/drag_content.h"
#include "gui/result_view/line_layout.h"
#include "gui/result_view/result_view_accessible.h"
#include "gui/widgets/shared_text_mime.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDrag>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>

namespace dirka {

namespace {

constexpr int DragScrollInterval = 50;
// Complete blocks of this many lines keep their longest line, so removing lines rescans at most
// one block instead of the whole result.
constexpr qsizetype LengthBlock = 4096;

// How far position lies outside 0..extent-1; negative before it.
int overshoot(int position, int extent)
{
    return position < 0 ? position : position >= extent ? position - extent + 1 : 0;
}

enum class TMove {
    PreviousChar,
    NextChar,
    PreviousLine,
    NextLine,
    PreviousPage,
    NextPage,
    StartOfLine,
    EndOfLine,
    StartOfText,
    EndOfText
};

struct TKeyMove {
    QKeySequence::StandardKey Move;
    QKeySequence::StandardKey Extend;
    TMove Kind;
};

// Standard keys, so each platform's own bindings apply.
constexpr TKeyMove KeyMoves[] = {
    {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, TMove::PreviousChar},
    {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, TMove::NextChar},
    {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, TMove::PreviousLine},
    {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, TMove::NextLine},
    {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, TMove::PreviousPage},
    {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, TMove::NextPage},
    {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, TMove::StartOfLine},
    {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, TMove::EndOfLine},
    {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, TMove::StartOfText},
    {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, TMove::EndOfText},
};

} // namespace

TResultView::TResultView(QWidget* parent) : QAbstractScrollArea(parent)
{
    static const bool factoryInstalled =
        (QAccessible::installFactory(&CreateResultViewAccessible), true);
    Q_UNUSED(factoryInstalled)

    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    viewport()->setBackgroundRole(QPalette::Window);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::IBeamCursor);
    updateMetrics();
}

void TResultView::SetResult(const TResultText* result)
{
    m_result = result;
    m_anchor = m_caret = 0;
    m_blocks.clear();
    m_scannedLines = m_scannedEnd = m_widestUnits = 0;
    m_measuredWidth = 0;
    m_measuredLine = -1;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    ResultChanged();
}

void TResultView::ResultChanged()
{
    scanLineLengths();
    const qsizetype size = textSize();
    setSelection(std::min(m_anchor, size), std::min(m_caret, size));
    updateScrollBars();
    viewport()->update();
}

void TResultView::Select(qsizetype start, qsizetype length)
{
    const qsizetype size = textSize();
    start = std::clamp<qsizetype>(start, 0, size);
    const qsizetype end = start + std::clamp<qsizetype>(length, 0, size - start);
    setSelection(start, end);
    ensureVisible(start, true);
    ensureVisible(end, true);
}

void TResultView::SelectFromTo(qsizetype anchor, qsizetype caret)
{
    const qsizetype size = textSize();
    setSelection(std::clamp<qsizetype>(anchor, 0, size), std::clamp<qsizetype>(caret, 0, size));
    ensureVisible(m_caret, true);
}

void TResultView::ShowFromTop()
{
    setSelection(0, 0);
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
}

void TResultView::SelectAll()
{
    setSelection(0, textSize());
}

QString TResultView::SelectedText() const
{
    return m_result ? m_result->Mid(SelectionStart(), SelectionLength()) : QString();
}

void TResultView::CopySelection() const
{
    if (SelectionLength() > 0 && m_result)
        QGuiApplication::clipboard()->setMimeData(
            new TSharedTextMimeData(m_result->Lines(), SelectionStart(), SelectionLength()));
}

qsizetype TResultView::LineFromChar(qsizetype offset) const
{
    return m_result ? m_result->LineFromOffset(offset) : 0;
}

bool TResultView::SelectLine(qsizetype line)
{
    if (line < 0 || line >= lineCount())
        return false;
    setSelection(lineStart(line), lineEnd(line));
    ensureVisible(m_caret, false);
    return true;
}

void TResultView::EnsureCaretVisible()
{
    ensureVisible(m_caret, true);
}

qsizetype TResultView::textSize() const
{
    return m_result ? m_result->Size() : 0;
}

qsizetype TResultView::lineCount() const
{
    return m_result ? m_result->LineCount() : 0;
}

QStringView TResultView::line(qsizetype index) const
{
    return m_result->Lines().Line(index, m_lineText);
}

qsizetype TResultView::lineStart(qsizetype index) const
{
    return m_result->LineStart(index);
}

qsizetype TResultView::lineEnd(qsizetype index) const
{
    return lineStart(index) + m_result->LineLength(index);
}

int TResultView::firstVisibleLine() const
{
    return verticalScrollBar()->value();
}

int TResultView::visibleRows() const
{
    return std::max(1, viewport()->height() / m_layout.LineHeight());
}

bool TResultView::noteWidth(qsizetype line, qreal width)
{
    if (width <= m_measuredWidth)
        return false;
    m_measuredWidth = width;
    m_measuredLine = line;
    return contentWidth() > horizontalScrollBar()->maximum() + viewport()->width();
}

int TResultView::contentWidth() const
{
    const qreal widest = std::max(qreal(m_widestUnits) * m_layout.CharWidth(), m_measuredWidth);
    return int(std::ceil(widest)) + 2 * TextMargin + 1;
}

QPoint TResultView::positionOf(qsizetype offset) const
{
    const qsizetype index = LineFromChar(offset);
    const qreal x =
        lineCount() > 0 ? m_layout.XOfColumn(line(index), offset - lineStart(index)) : 0;
    return QPoint(int(std::floor(x)) + TextMargin - horizontalScrollBar()->value(),
                  int(index - firstVisibleLine()) * m_layout.LineHeight());
}

qsizetype TResultView::offsetAt(QPoint viewportPos) const
{
    const qsizetype count = lineCount();
    if (count == 0)
        return 0;
    const int y = viewportPos.y();
    const qsizetype row =
        y >= 0 ? y / m_layout.LineHeight() : -1 - (-y - 1) / m_layout.LineHeight();
    const qsizetype index = std::clamp<qsizetype>(firstVisibleLine() + row, 0, count - 1);
    const qreal x = viewportPos.x() - TextMargin + horizontalScrollBar()->value();
    return lineStart(index) + m_layout.ColumnAtX(line(index), x);
}

void TResultView::setSelection(qsizetype anchor, qsizetype caret)
{
    m_desiredX = -1;
    if (anchor == m_anchor && caret == m_caret)
        return;
    m_anchor = anchor;
    m_caret = caret;
    restartBlink();
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleTextCursorEvent cursorEvent(this, int(m_caret));
        QAccessible::updateAccessibility(&cursorEvent);
        QAccessibleTextSelectionEvent selectionEvent(this, int(SelectionStart()),
                                                     int(SelectionStart() + SelectionLength()));
        QAccessible::updateAccessibility(&selectionEvent);
    }
}

qsizetype TResultView::previousPosition(qsizetype offset) const
{
    if (offset <= 0 || lineCount() == 0)
        return 0;
    const qsizetype index = LineFromChar(offset);
    const qsizetype start = lineStart(index);
    if (offset == start)
        return lineEnd(index - 1);
    offset = std::min(offset, lineEnd(index));
    return offset - (SplitsSurrogatePair(line(index), offset - 1 - start) ? 2 : 1);
}

qsizetype TResultView::nextPosition(qsizetype offset) const
{
    if (lineCount() == 0)
        return 0;
    const qsizetype index = LineFromChar(offset);
    const qsizetype end = lineEnd(index);
    // From a line's end the caret passes its CR LF at once.
    if (offset >= end)
        return index + 1 < lineCount() ? lineStart(index + 1) : end;
    return offset + (SplitsSurrogatePair(line(index), offset + 1 - lineStart(index)) ? 2 : 1);
}

qsizetype TResultView::verticalMove(qsizetype lines) const
{
    if (lineCount() == 0)
        return 0;
    const qsizetype index =
        std::clamp<qsizetype>(LineFromChar(m_caret) + lines, 0, lineCount() - 1);
    return lineStart(index) + m_layout.ColumnAtX(line(index), m_desiredX);
}

void TResultView::ensureVisible(qsizetype offset, bool horizontally)
{
    const qsizetype index = LineFromChar(offset);
    QScrollBar* vertical = verticalScrollBar();
    if (index < vertical->value())
        vertical->setValue(int(index));
    else if (index >= vertical->value() + visibleRows())
        vertical->setValue(int(index - visibleRows() + 1));
    if (!horizontally || lineCount() == 0)
        return;

    const QStringView text = line(index);
    if (noteWidth(index, m_layout.Width(text)))
        updateScrollBars();
    const int x = int(std::floor(m_layout.XOfColumn(text, offset - lineStart(index))));
    const int width = std::max(1, viewport()->width() - 2 * TextMargin);
    QScrollBar* horizontal = horizontalScrollBar();
    // Jump a quarter of the width past the edge, so typing along a line does not scroll each time.
    if (x < horizontal->value())
        horizontal->setValue(x - width / 4);
    else if (x >= horizontal->value() + width)
        horizontal->setValue(x - width + width / 4);
}

void TResultView::scanLineLengths()
{
    const qsizetype count = lineCount();
    qsizetype index = m_scannedLines;
    qsizetype widest = m_widestUnits;
    // The lines scanned before still stand when the last of them ends where it did. Otherwise
    // lines were rolled back (a walker dropping an empty folder, a cleared result): keep the
    // complete blocks that still end where they did and scan from there, not the whole result.
    if (index > count || (index > 0 && lineEnd(index - 1) != m_scannedEnd)) {
        while (!m_blocks.empty()) {
            const qsizetype last = qsizetype(m_blocks.size()) * LengthBlock - 1;
            if (last < count && lineEnd(last) == m_blocks.back().End)
                break;
            m_blocks.pop_back();
        }
        index = qsizetype(m_blocks.size()) * LengthBlock;
        widest = m_blocks.empty() ? 0 : m_blocks.back().Widest;
        if (m_measuredLine >= index) {
            m_measuredWidth = 0;
            m_measuredLine = -1;
        }
    }
    for (; index < count; ++index) {
        widest = std::max(widest, m_result->LineLength(index));
        if ((index + 1) % LengthBlock == 0)
            m_blocks.push_back({widest, lineEnd(index)});
    }
    m_widestUnits = widest;
    m_scannedLines = count;
    m_scannedEnd = count > 0 ? lineEnd(count - 1) : 0;
}

void TResultView::updateScrollBars()
{
    const int rows = visibleRows();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setRange(
        0, int(std::min<qsizetype>(std::max<qsizetype>(lineCount() - rows, 0), INT_MAX)));
    vertical->setPageStep(rows);
    vertical->setSingleStep(1);
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, contentWidth() - viewport()->width()));
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(int(std::ceil(m_layout.CharWidth())));
}

void TResultView::updateMetrics()
{
    m_layout = TLineLayout(font());
    m_measuredWidth = 0;
    m_measuredLine = -1;
    updateScrollBars();
    viewport()->update();
}

void TResultView::restartBlink()
{
    if (!hasFocus())
        return;
    m_caretShown = true;
    const int interval = QApplication::cursorFlashTime() / 2;
    if (interval > 0)
        m_blinkTimer.start(interval, this);
    else
        m_blinkTimer.stop();
}

void TResultView::dragTo(QPoint viewportPos)
{
    m_dragPos = viewportPos;
    setSelection(m_anchor, offsetAt(viewportPos));
}

QRect TResultView::selectionRect(qsizetype index, QRect row) const
{
    const qsizetype selectionStart = SelectionStart();
    const qsizetype selectionEnd = selectionStart + SelectionLength();
    const QStringView text = line(index);
    const qsizetype start = lineStart(index);
    const qsizetype end = start + text.size();
    if (selectionStart >= selectionEnd || selectionStart > end || selectionEnd <= start)
        return QRect();
    // A selected line break shows as one character cell after the text.
    const bool breakSelected = selectionEnd > end && index + 1 < lineCount();
    const qreal x1 = m_layout.XOfColumn(text, std::max(selectionStart, start) - start);
    const qreal x2 = m_layout.XOfColumn(text, std::min(selectionEnd, end) - start) +
                     (breakSelected ? m_layout.CharWidth() : 0);
    const int left = TextMargin - horizontalScrollBar()->value();
    return QRect(QPoint(left + int(std::floor(x1)), row.top()),
                 QPoint(left + int(std::ceil(x2)) - 1, row.bottom()));
}

void TResultView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    painter.setFont(font());
    const QColor textColor = palette().color(QPalette::WindowText);
    // A selection keeps the active colours when the window is inactive, so it stays readable.
    const QColor highlight = palette().color(QPalette::Active, QPalette::Highlight);
    const QColor highlightedText = palette().color(QPalette::Active, QPalette::HighlightedText);
    const qsizetype count = lineCount();
    const qsizetype first = firstVisibleLine();
    const int left = TextMargin - horizontalScrollBar()->value();
    const int lastRow = event->rect().bottom() / m_layout.LineHeight();
    bool widthGrew = false;

    for (int row = event->rect().top() / m_layout.LineHeight(); row <= lastRow; ++row) {
        const qsizetype index = first + row;
        if (index >= count)
            break;
        const QStringView text = line(index);
        const QRect rowRect(0, row * m_layout.LineHeight(), viewport()->width(),
                            m_layout.LineHeight());
        const QPointF origin(left, rowRect.top() + m_layout.Ascent());
        const QRect selected = selectionRect(index, rowRect);
        const qsizetype start = lineStart(index);
        const bool wholeLine = SelectionStart() <= start &&
                               SelectionStart() + SelectionLength() >= start + text.size();
        qreal width = 0;
        if (selected.isEmpty()) {
            painter.setPen(textColor);
            width = m_layout.Draw(painter, text, origin);
        } else if (wholeLine) {
            // No clipping needed: the most common case after Select All.
            painter.fillRect(selected, highlight);
            painter.setPen(highlightedText);
            width = m_layout.Draw(painter, text, origin);
        } else {
            painter.fillRect(selected, highlight);
            painter.save();
            painter.setClipRegion(QRegion(rowRect).subtracted(selected));
            painter.setPen(textColor);
            width = m_layout.Draw(painter, text, origin);
            painter.setClipRect(selected);
            painter.setPen(highlightedText);
            m_layout.Draw(painter, text, origin);
            painter.restore();
        }
        widthGrew = noteWidth(index, width) || widthGrew;
    }

    if (hasFocus() && m_caretShown)
        painter.fillRect(QRect(positionOf(m_caret), QSize(1, m_layout.LineHeight())), textColor);

    // Painting found a line wider than its length suggested: widen the range after this paint.
    if (widthGrew && !m_rangePending) {
        m_rangePending = true;
        QTimer::singleShot(0, this, [this] {
            m_rangePending = false;
            updateScrollBars();
        });
    }
}

bool TResultView::event(QEvent* event)
{
    // Copy and Select All act on the view while it has the focus, not on a window shortcut.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key == QKeySequence::Copy || key == QKeySequence::SelectAll) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TResultView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void TResultView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateMetrics();
}

void TResultView::scrollContentsBy(int, int)
{
    viewport()->update();
}

void TResultView::keyPressEvent(QKeyEvent* event)
{
    if (event == QKeySequence::Copy) {
        CopySelection();
        return;
    }
    if (event == QKeySequence::SelectAll) {
        SelectAll();
        return;
    }
    const auto keyMove = std::find_if(std::begin(KeyMoves), std::end(KeyMoves), [&](auto& k) {
        return event->matches(k.Move) || event->matches(k.Extend);
    });
    if (keyMove == std::end(KeyMoves)) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }

    const bool extend = event->matches(keyMove->Extend);
    const bool empty = SelectionLength() == 0;
    const qsizetype index = LineFromChar(m_caret);
    const qsizetype rows = visibleRows();
    if (m_desiredX < 0)
        m_desiredX =
            lineCount() > 0 ? m_layout.XOfColumn(line(index), m_caret - lineStart(index)) : 0;
    const qreal desiredX = m_desiredX;
    qsizetype target = m_caret;
    bool vertical = false;
    switch (keyMove->Kind) {
    case TMove::PreviousChar:
        target = extend || empty ? previousPosition(m_caret) : SelectionStart();
        break;
    case TMove::NextChar:
        target = extend || empty ? nextPosition(m_caret) : SelectionStart() + SelectionLength();
        break;
    case TMove::PreviousLine:
    case TMove::NextLine:
        target = verticalMove(keyMove->Kind == TMove::NextLine ? 1 : -1);
        vertical = true;
        break;
    case TMove::PreviousPage:
    case TMove::NextPage: {
        const qsizetype step = keyMove->Kind == TMove::NextPage ? rows : -rows;
        verticalScrollBar()->setValue(int(verticalScrollBar()->value() + step));
        target = verticalMove(step);
        vertical = true;
        break;
    }
    case TMove::StartOfLine:
        target = lineCount() > 0 ? lineStart(index) : 0;
        break;
    case TMove::EndOfLine:
        target = lineCount() > 0 ? lineEnd(index) : 0;
        break;
    case TMove::StartOfText:
        target = 0;
        break;
    case TMove::EndOfText:
        target = textSize();
        break;
    }
    setSelection(extend ? m_anchor : target, target);
    EnsureCaretVisible();
    // Up and Down keep aiming at the column they started from across shorter lines.
    if (vertical)
        m_desiredX = desiredX;
}

void TResultView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    setFocus(Qt::MouseFocusReason);
    const qsizetype offset = offsetAt(event->position().toPoint());
    const bool extend = event->modifiers().testFlag(Qt::ShiftModifier);
    // A press inside the selection may begin a drag of it; without a move it places the caret.
    m_dragOutFrom = -1;
    if (!extend && SelectionLength() > 0 && offset >= SelectionStart() &&
        offset < SelectionStart() + SelectionLength()) {
        m_dragOutFrom = offset;
        m_pressPos = event->position().toPoint();
        return;
    }
    setSelection(extend ? m_anchor : offset, offset);
    m_dragging = true;
    m_dragPos = event->position().toPoint();
}

void TResultView::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragOutFrom >= 0 && event->buttons().testFlag(Qt::LeftButton)) {
        if ((event->position().toPoint() - m_pressPos).manhattanLength() >=
            QApplication::startDragDistance()) {
            m_dragOutFrom = -1;
            dragOut();
        }
        return;
    }
    if (!m_dragging || !event->buttons().testFlag(Qt::LeftButton))
        return;
    dragTo(event->position().toPoint());
    if (viewport()->rect().contains(m_dragPos))
        m_dragTimer.stop();
    else if (!m_dragTimer.isActive())
        m_dragTimer.start(DragScrollInterval, this);
}

void TResultView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_dragTimer.stop();
    if (m_dragOutFrom >= 0) {
        setSelection(m_dragOutFrom, m_dragOutFrom);
        m_dragOutFrom = -1;
    }
    if (m_dragging && SelectionLength() > 0 && QGuiApplication::clipboard()->supportsSelection())
        QGuiApplication::clipboard()->setText(SelectedText(), QClipboard::Selection);
    m_dragging = false;
}

// The selected lines' items leave as file URLs, the selected text as plain text.
void TResultView::dragOut()
{
    if (!m_result)
        return;
    const qsizetype start = SelectionStart();
    const qsizetype end = start + SelectionLength();
    const QList<QUrl> urls = DragUrls(LineFromChar(start), LineFromChar(end - 1),
                                      [this](int line) { return m_result->PathOf(line); });
    auto* drag = new QDrag(this);
    drag->setMimeData(DragMimeData(urls, m_result->Lines(), start, end - start));
    drag->exec(Qt::CopyAction | Qt::LinkAction, Qt::CopyAction);
}

void TResultView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    // The line stays selected as it is; a drag after a double-click must not shrink it.
    m_dragging = false;
    m_dragOutFrom = -1;
    const qsizetype index = LineFromChar(offsetAt(event->position().toPoint()));
    if (SelectLine(index))
        Q_EMIT LineDoubleClicked(event->modifiers().testFlag(Qt::ControlModifier));
}

void TResultView::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    QAction* copy = menu.addAction(tr("&Copy"));
    connect(copy, &QAction::triggered, this, [this] { CopySelection(); });
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(SelectionLength() > 0);
    QAction* selectAll = menu.addAction(tr("Select &All"));
    connect(selectAll, &QAction::triggered, this, &TResultView::SelectAll);
    selectAll->setShortcut(QKeySequence::SelectAll);
    selectAll->setEnabled(textSize() > 0);
    menu.exec(event->globalPos());
}

void TResultView::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    restartBlink();
    viewport()->update();
}

void TResultView::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    m_blinkTimer.stop();
    m_caretShown = false;
    viewport()->update();
}

void TResultView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_blinkTimer.timerId()) {
        m_caretShown = !m_caretShown;
        viewport()->update(QRect(positionOf(m_caret), QSize(1, m_layout.LineHeight())));
        return;
    }
    if (event->timerId() == m_dragTimer.timerId()) {
        // Dragging past an edge scrolls towards the mouse, faster the farther it is.
        const int dy = overshoot(m_dragPos.y(), viewport()->height());
        const int dx = overshoot(m_dragPos.x(), viewport()->width());
        verticalScrollBar()->setValue(verticalScrollBar()->value() + dy / m_layout.LineHeight() +
                                      (dy > 0) - (dy < 0));
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() + dx);
        dragTo(m_dragPos);
        return;
    }
    QAbstractScrollArea::timerEvent(event);
}

} // namespace dirka
