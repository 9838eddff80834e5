#include "gui/widgets/shared_text_mime.h"

#include <algorithm>
#include <limits>

namespace dirka {

namespace {

const QString PlainText = QStringLiteral("text/plain");

} // namespace

TSharedTextMimeData::TSharedTextMimeData(TCompactText text, qsizetype start, qsizetype length)
    : m_text(std::move(text))
{
    m_start = std::clamp<qsizetype>(start, 0, m_text.Size());
    m_length = std::clamp<qsizetype>(length, 0, m_text.Size() - m_start);
}

TSharedTextMimeData::TSharedTextMimeData(TCompactText text)
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

// The text is made only now, for the program that pastes.
QVariant TSharedTextMimeData::retrieveData(const QString& mimeType, QMetaType type) const
{
    if (mimeType != PlainText)
        return QMimeData::retrieveData(mimeType, type);
    return m_text.Mid(m_start, m_length);
}

} // namespace dirka
