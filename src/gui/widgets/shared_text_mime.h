#pragma once

#include <QMimeData>
#include <QString>

#include "core/text/compact_text.h"

namespace dirka {

/// Clipboard data that holds lines by sharing their memory (no copy while neither side changes)
/// and makes the text only when a program pastes: a result of a million lines is put on the
/// clipboard at no cost in time or memory, and converted only for the program that asks. Data
/// set on it otherwise (setUrls ...) is offered beside the text.
class TSharedTextMimeData : public QMimeData {
    Q_OBJECT
public:
    /// The part of the lines joined by CR LF from start, length units long.
    TSharedTextMimeData(TCompactText text, qsizetype start, qsizetype length);
    explicit TSharedTextMimeData(TCompactText text);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    TCompactText m_text;
    qsizetype m_start;
    qsizetype m_length;
};

} // namespace dirka
