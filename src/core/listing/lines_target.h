#pragma once

#include "core/listing/item_facts.h"
#include "core/text/assertion.h"
#include "core/text/byte_buffer.h"

#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>

namespace dirka {

/// The item a result line shows: FolderPath + Name (FolderPath ends in the delimiter; Name is
/// empty for a line that shows the folder itself).
struct TLineItem {
    QStringView FolderPath;
    QStringView Name;
    /// What the walk knows of the item, for the one line that makes its record; nullptr on every
    /// other line that shows it (the header's location line, a folder's own line when its
    /// parent's list has a line for it).
    const TItemFacts* Record = nullptr;
};

/// Where the folder walker writes its lines: the main window's result, the style preview, or
/// the command line's result. Lines hold no line breaks.
class TLinesTarget {
public:
    virtual ~TLinesTarget() = default;

    virtual qsizetype LineCount() const = 0;
    virtual QStringView Line(qsizetype index) const = 0;
    virtual void AppendLine(QStringView text) = 0;
    /// A line that shows an item. A target that writes links, playlists or records as the lines
    /// come keeps the item; the others take the text alone.
    virtual void AppendItemLine(QStringView text, const TLineItem& item)
    {
        Q_UNUSED(item);
        AppendLine(text);
    }
    /// A target that keeps its lines as UTF-8 answers the buffer it keeps them in; the walker
    /// then composes an item line there where it can (names shown as their bytes) and hands it
    /// over with CommitItemLineUtf8. The others answer nullptr and take every line as text.
    virtual TByteBuffer* Utf8LineBuffer() { return nullptr; }
    /// The bytes appended to Utf8LineBuffer() from start on are an item line, as AppendItemLine.
    /// A target that answers a buffer takes them; no other is ever asked.
    virtual void CommitItemLineUtf8(qsizetype start, const TLineItem& item)
    {
        Q_UNUSED(start);
        Q_UNUSED(item);
        Assert(false);
    }
    virtual void RemoveLastLine() = 0;
    /// Removes lines from the end until count remain.
    virtual void TruncateLines(qsizetype count)
    {
        while (LineCount() > count)
            RemoveLastLine();
    }
    /// The lines below count will never be removed again: a target may pass them on and keep
    /// only the last of them (which Line() must still answer).
    virtual void LinesFinal(qsizetype count) { Q_UNUSED(count); }
    /// Whether the target writes files as the lines come (known before the walk starts); one
    /// that does not has no own file, so the walk need not ask about each file.
    virtual bool WritesFiles() const { return false; }
    /// True for a file the target itself is writing (inode on device): the walk leaves it out,
    /// so a result written into the listed tree never lists its own unfinished copy.
    virtual bool IsOwnFile(std::uint64_t device, std::uint64_t inode) const
    {
        Q_UNUSED(device);
        Q_UNUSED(inode);
        return false;
    }
    /// Repainting is suspended between these two calls.
    virtual void BeginUpdate() {}
    virtual void EndUpdate() {}
};

} // namespace dirka
