#pragma once

#include <QDialog>
#include <QString>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace dirka {

class TDesktop;

/// The small dialog in which one file-name mask is typed and checked. Whatever it hands back on
/// OK obeys the mask syntax: trimmed, not empty, no "?", no "|", at most two "*".
///
///     if (const auto mask = dlgFilter.Ask(QStringLiteral("List only &files"), QString())) ...
class TMaskDialog : public QDialog {
    Q_OBJECT
public:
    /// desktop shows the warning for a mask that breaks the syntax.
    explicit TMaskDialog(TDesktop& desktop, QWidget* parent = nullptr);

    /// The caption of the edit, with the accelerator that focuses it ("List only &files").
    void SetLabel(const QString& text);
    void SetText(const QString& text);
    QString Text() const;

    /// Shows the dialog modally with label and text; the valid mask on OK, nothing on Cancel.
    std::optional<QString> Ask(const QString& label, const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void edChange();
    void btnOKClick();

    TDesktop& m_desktop;
    QLabel* m_lab;
    QLineEdit* m_ed;
    QLabel* m_labelChars;
    QPushButton* m_btnOK;
};

} // namespace dirka
