#pragma once

#include <QMimeData>
#include <QString>

namespace dirka {

/// Clipboard data that holds a text by sharing its string (no copy while neither side changes)
/// and hands it over only when a program pastes: a result of a million lines is put on the
/// clipboard at no cost in time or memory, and converted only for the program that asks. Data
/// set on it otherwise (setUrls ...) is offered beside the text.
class TSharedTextMimeData : public QMimeData {
    Q_OBJECT
public:
    /// The part of text from start, length units long.
    TSharedTextMimeData(QString text, qsizetype start, qsizetype length);
    explicit TSharedTextMimeData(QString text);

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    QString m_text;
    qsizetype m_start;
    qsizetype m_length;
};

} // namespace dirka
