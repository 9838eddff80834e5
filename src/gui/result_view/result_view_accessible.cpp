#include "gui/result_view/result_view_accessible.h"

#include "core/listing/result_text.h"
#include "gui/result_view/result_view.h"

#include <QAccessibleWidget>
#include <QScrollBar>
#include <QTextBoundaryFinder>

namespace dirka {

/// A read-only multi-line text for accessibility tools. Queries around an offset are answered
/// from the line that holds it, never from a copy of the whole result.
class TResultViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TResultViewAccessible(TResultView* view)
        : QAccessibleWidget(view, QAccessible::EditableText)
    {
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }

    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override
    {
        const bool any = selectionIndex == 0 && view()->SelectionLength() > 0;
        *startOffset = any ? int(view()->SelectionStart()) : 0;
        *endOffset = any ? int(view()->SelectionStart() + view()->SelectionLength()) : 0;
    }
    int selectionCount() const override { return view()->SelectionLength() > 0 ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override
    {
        setSelection(0, startOffset, endOffset);
    }
    void removeSelection(int selectionIndex) override
    {
        if (selectionIndex == 0)
            view()->setSelection(view()->CaretPosition(), view()->CaretPosition());
    }
    void setSelection(int selectionIndex, int startOffset, int endOffset) override
    {
        if (selectionIndex == 0)
            view()->Select(startOffset, endOffset - startOffset);
    }
    int cursorPosition() const override { return int(view()->CaretPosition()); }
    void setCursorPosition(int position) override { view()->Select(position, 0); }

    QString text(QAccessible::Text t) const override { return QAccessibleWidget::text(t); }
    QString text(int startOffset, int endOffset) const override
    {
        const TResultView* v = view();
        const qsizetype size = v->textSize();
        const qsizetype start = std::clamp<qsizetype>(startOffset, 0, size);
        const qsizetype length = std::clamp<qsizetype>(endOffset, start, size) - start;
        return v->m_result ? v->m_result->Mid(start, length) : QString();
    }
    int characterCount() const override { return int(view()->textSize()); }

    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                         int* endOffset) const override
    {
        const auto [start, end] = around(offset, type);
        *startOffset = int(start);
        *endOffset = int(end);
        return text(*startOffset, *endOffset);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                             int* endOffset) const override
    {
        const qsizetype start = around(offset, type).first;
        *startOffset = *endOffset = int(start);
        return start > 0 ? textAtOffset(int(start) - 1, type, startOffset, endOffset) : QString();
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int* startOffset,
                            int* endOffset) const override
    {
        const qsizetype end = around(offset, type).second;
        *startOffset = *endOffset = int(end);
        return end < characterCount() ? textAtOffset(int(end), type, startOffset, endOffset)
                                      : QString();
    }

    QRect characterRect(int offset) const override
    {
        TResultView* v = view();
        const QPoint left = v->positionOf(offset);
        const qsizetype next = v->nextPosition(offset);
        const int right = v->LineFromChar(next) == v->LineFromChar(offset)
                              ? v->positionOf(next).x()
                              : left.x() + int(v->m_layout.CharWidth());
        const QRect rect(left, QSize(std::max(1, right - left.x()), v->m_layout.LineHeight()));
        return rect.translated(v->viewport()->mapToGlobal(QPoint(0, 0)));
    }
    int offsetAtPoint(const QPoint& point) const override
    {
        return int(view()->offsetAt(view()->viewport()->mapFromGlobal(point)));
    }
    void scrollToSubstring(int startIndex, int endIndex) override
    {
        view()->ensureVisible(startIndex, true);
        view()->ensureVisible(endIndex, true);
    }
    QString attributes(int offset, int* startOffset, int* endOffset) const override
    {
        Q_UNUSED(offset)
        *startOffset = 0;
        *endOffset = characterCount();
        return QString();
    }

private:
    TResultView* view() const { return static_cast<TResultView*>(widget()); }

    // The range of the unit, word or line at offset; a line includes its line break.
    std::pair<qsizetype, qsizetype> around(qsizetype offset,
                                           QAccessible::TextBoundaryType type) const
    {
        const TResultView* v = view();
        const qsizetype size = v->textSize();
        offset = std::clamp<qsizetype>(offset, 0, size);
        if (type == QAccessible::NoBoundary || size == 0)
            return {0, size};
        const qsizetype index = v->LineFromChar(offset);
        const qsizetype start = v->lineStart(index);
        const qsizetype end = v->lineEnd(index);
        const qsizetype next = index + 1 < v->lineCount() ? v->lineStart(index + 1) : size;
        if (offset == size)
            return {offset, offset};
        if (type == QAccessible::CharBoundary) {
            const bool pair =
                offset + 1 < end && SplitsSurrogatePair(v->line(index), offset + 1 - start);
            return {offset, offset + (pair ? 2 : 1)};
        }
        if (type != QAccessible::WordBoundary)
            return {start, next};
        if (offset >= end)
            return {end, next};
        QTextBoundaryFinder finder(QTextBoundaryFinder::Word, v->line(index).toString());
        finder.setPosition(int(offset - start));
        const qsizetype wordStart =
            finder.isAtBoundary() ? finder.position() : finder.toPreviousBoundary();
        const qsizetype wordEnd = finder.toNextBoundary();
        return {start + wordStart, wordEnd < 0 ? end : start + wordEnd};
    }
};

QAccessibleInterface* CreateResultViewAccessible(const QString& className, QObject* object)
{
    Q_UNUSED(className)
    if (auto* view = qobject_cast<TResultView*>(object))
        return new TResultViewAccessible(view);
    return nullptr;
}

} // namespace dirka
