#include "gui/dialogs/mask_dialog.h"

#include "core/text/text_utils.h"
#include "gui/desktop/desktop.h"
#include "gui/dialogs/options_rules.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace dirka {

TMaskDialog::TMaskDialog(TDesktop& desktop, QWidget* parent) : QDialog(parent), m_desktop(desktop)
{
    setObjectName(QStringLiteral("dlgFilter"));
    setWindowTitle(QStringLiteral("Filter"));

    m_lab = new QLabel(this);
    m_lab->setObjectName(QStringLiteral("lab"));
    m_ed = new QLineEdit(this);
    m_ed->setObjectName(QStringLiteral("ed"));
    m_lab->setBuddy(m_ed);
    // Masks are short and easy to mistype: a larger font shows every "*" and "." clearly.
    QFont large = m_ed->font();
    large.setPointSizeF(large.pointSizeF() * 1.5);
    m_ed->setFont(large);
    m_ed->setMinimumWidth(QFontMetrics(large).averageCharWidth() * 28);

    m_labelChars = new QLabel(this);
    m_labelChars->setObjectName(QStringLiteral("labelChars"));
    m_labelChars->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    auto* buttons = new QDialogButtonBox(this);
    m_btnOK = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    m_btnOK->setObjectName(QStringLiteral("btnOK"));
    m_btnOK->setDefault(true);
    QPushButton* cancel =
        buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    // OK checks the mask before closing; only Cancel closes straight away.
    connect(m_btnOK, &QPushButton::clicked, this, &TMaskDialog::btnOKClick);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_lab);
    layout->addWidget(m_ed);
    layout->addWidget(m_labelChars);
    layout->addSpacing(layout->spacing());
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_ed, &QLineEdit::textChanged, this, &TMaskDialog::edChange);
    edChange();
}

void TMaskDialog::SetLabel(const QString& text)
{
    m_lab->setText(text);
}

void TMaskDialog::SetText(const QString& text)
{
    m_ed->setText(text);
}

QString TMaskDialog::Text() const
{
    return m_ed->text();
}

std::optional<QString> TMaskDialog::Ask(const QString& label, const QString& text)
{
    SetLabel(label);
    SetText(text);
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return Text();
}

void TMaskDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    edChange();
    m_ed->selectAll();
    m_ed->setFocus();
}

void TMaskDialog::edChange()
{
    const QString text = m_ed->text();
    m_labelChars->setText(CharCountText(text));
    m_btnOK->setEnabled(!text.isEmpty());
}

void TMaskDialog::btnOKClick()
{
    const QString mask = TrimText(m_ed->text());
    m_ed->setText(mask);
    // Only blanks: the edit is empty now and OK disabled. An empty mask would make the list
    // of a one-mask entry read "|", the mark of a separator, and lock the entry.
    if (mask.isEmpty())
        return;
    if (const QString problem = MaskProblem(mask); !problem.isEmpty()) {
        m_desktop.Warning(this, problem);
        return;
    }
    accept();
}

} // namespace dirka
