#include "gui/widgets/shared_text_mime.h"

#include <algorithm>
#include <limits>

namespace dirka {

namespace {

const QString PlainText = QStringLiteral("text/plain");

} // namespace

TSharedTextMimeData::TSharedTextMimeData(QString text, qsizetype start, qsizetype length)
    : m_text(std::move(text))
{
    m_start = std::clamp<qsizetype>(start, 0, m_text.size());
    m_length = std::clamp<qsizetype>(length, 0, m_text.size() - m_start);
}

TSharedTextMimeData::TSharedTextMimeData(QString text)
    : TSharedTextMimeData(std::move(text), 0, std::numeric_limits<qsizetype>::max())
{
}

QStringList TSharedTextMimeData::formats() const
{
    QStringList all = QMimeData::formats();
    if (!all.contains(PlainText))
        all.append(PlainText);
    return all;
}

bool TSharedTextMimeData::hasFormat(const QString& mimeType) const
{
    return mimeType == PlainText || QMimeData::hasFormat(mimeType);
}

// The whole text is handed over as the shared string itself; a part is copied only now.
QVariant TSharedTextMimeData::retrieveData(const QString& mimeType, QMetaType type) const
{
    if (mimeType != PlainText)
        return QMimeData::retrieveData(mimeType, type);
    return m_text.mid(m_start, m_length);
}

} // namespace dirka
