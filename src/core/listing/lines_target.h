#pragma once

#include <QStringView>

namespace dirka {

/// Where the folder walker writes its lines: the main window's result, the style preview, or
/// the command line's result. Lines hold no line breaks.
class TLinesTarget {
public:
    virtual ~TLinesTarget() = default;

    virtual qsizetype LineCount() const = 0;
    virtual QStringView Line(qsizetype index) const = 0;
    virtual void AppendLine(QStringView text) = 0;
    virtual void RemoveLastLine() = 0;
    /// Removes lines from the end until count remain.
    virtual void TruncateLines(qsizetype count)
    {
        while (LineCount() > count)
            RemoveLastLine();
    }
    /// Repainting is suspended between these two calls.
    virtual void BeginUpdate() {}
    virtual void EndUpdate() {}
};

} // namespace dirka
