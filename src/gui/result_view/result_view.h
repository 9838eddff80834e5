#pragma once

#include "gui/result_view/line_layout.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QStringView>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace dirka {

class TResultText;

/// The main window's read-only result: paints only the visible lines straight from a
/// TResultText, so a million-line result is neither copied nor laid out as a whole. Offsets are
/// units of TResultText::Text(); the caret never rests between a line's CR and LF.
class TResultView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TResultView(QWidget* parent = nullptr);

    /// The text to show; not owned; may be nullptr (shows nothing). Puts caret and scrolling
    /// back to the start.
    void SetResult(const TResultText* result);
    /// Call after lines were appended, removed or cleared: scroll ranges follow, the caret and
    /// selection are clamped into the text, and the view repaints.
    void ResultChanged();

    /// Offsets are 0-based units into TResultText::Text(), CR LF counting as two units.
    qsizetype SelectionStart() const { return std::min(m_anchor, m_caret); }
    qsizetype SelectionLength() const { return std::abs(m_caret - m_anchor); }
    qsizetype CaretPosition() const { return m_caret; }
    /// Selects [start, start+length) (clamped), caret at the end; scrolls it into view.
    void Select(qsizetype start, qsizetype length);
    /// Selects from anchor to caret, either way round, the caret where a key moves it next.
    void SelectFromTo(qsizetype anchor, qsizetype caret);
    /// Caret at the end, no scrolling.
    void SelectAll();
    /// Caret at the start, nothing selected, scrolled to the top left.
    void ShowFromTop();
    /// Exactly the units of the selection (CR LF kept).
    QString SelectedText() const;
    /// SelectedText() to the clipboard as plain text; nothing when the selection is empty.
    void CopySelection() const;
    /// The 0-based line holding the unit at offset (offsets past the end give the last line; an
    /// empty result gives 0).
    qsizetype LineFromChar(qsizetype offset) const;
    /// Selects line's text without its line break and answers true, scrolling the line into view
    /// vertically; false and nothing changes for a line outside 0..LineCount()-1.
    bool SelectLine(qsizetype line);
    void EnsureCaretVisible();

Q_SIGNALS:
    /// A double-click with the left button on a line (after that line is selected); ctrlAtPress
    /// tells whether Ctrl was held when that mouse button went down.
    void LineDoubleClicked(bool ctrlAtPress);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    friend class TResultViewAccessible;

    // Room left of column 0, so a caret there shows.
    static constexpr int TextMargin = 4;

    qsizetype textSize() const;
    qsizetype lineCount() const;
    /// The line's text, valid until the next call of line().
    QStringView line(qsizetype index) const;
    qsizetype lineStart(qsizetype index) const;
    qsizetype lineEnd(qsizetype index) const;
    int firstVisibleLine() const;
    int visibleRows() const;

    /// Answers whether the horizontal range must grow to show the line.
    bool noteWidth(qsizetype line, qreal width);
    int contentWidth() const;

    /// The top left of the caret at offset, in viewport coordinates.
    QPoint positionOf(qsizetype offset) const;
    qsizetype offsetAt(QPoint viewportPos) const;
    /// The highlight on line index's row, in viewport coordinates; empty when nothing is selected.
    QRect selectionRect(qsizetype index, QRect row) const;
    qsizetype previousPosition(qsizetype offset) const;
    qsizetype nextPosition(qsizetype offset) const;
    qsizetype verticalMove(qsizetype lines) const;
    void setSelection(qsizetype anchor, qsizetype caret);
    void ensureVisible(qsizetype offset, bool horizontally);
    void scanLineLengths();
    void updateScrollBars();
    void updateMetrics();
    void restartBlink();
    void dragTo(QPoint viewportPos);
    void dragOut();

    struct TLengthBlock {
        qsizetype Widest; // the longest line up to this block's end, in units
        qsizetype End;    // where the block's last line ended when it was scanned
    };

    const TResultText* m_result = nullptr;
    mutable QString m_lineText; // what line() answers
    qsizetype m_anchor = 0;
    qsizetype m_caret = 0;
    // Where Up and Down aim, in pixels; below 0 when the next vertical move takes it afresh.
    qreal m_desiredX = -1;

    TLineLayout m_layout{QFont()};

    // The widest line estimated from its length in units; a few bytes per thousand lines.
    std::vector<TLengthBlock> m_blocks;
    qsizetype m_widestUnits = 0;
    qsizetype m_scannedLines = 0;
    qsizetype m_scannedEnd = 0; // where the last scanned line ended
    // Painted lines can be wider than their length suggests (tabs, wide fallback glyphs).
    qreal m_measuredWidth = 0;
    qsizetype m_measuredLine = -1;
    bool m_rangePending = false;

    bool m_caretShown = false;
    bool m_dragging = false;
    QPoint m_dragPos;
    // Where a press inside the selection fell, while it may still become a drag out; else -1.
    qsizetype m_dragOutFrom = -1;
    QPoint m_pressPos;
    QBasicTimer m_blinkTimer;
    QBasicTimer m_dragTimer;
};

} // namespace dirka
