#include "gui/export/progress_dialog.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace dirka {

namespace {

constexpr int BarWidth = 300;

int clampToInt(qsizetype n)
{
    return int(std::clamp<qsizetype>(n, 0, std::numeric_limits<int>::max()));
}

} // namespace

TdlgProgress::TdlgProgress(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_labelPleaseWait(new QLabel(QStringLiteral("Please Wait"), this)),
      m_labelGenerating(new QLabel(QStringLiteral("Generating HTML"), this)),
      m_progressBar(new QProgressBar(this))
{
    setObjectName(QStringLiteral("dlgProgress"));
    m_labelPleaseWait->setObjectName(QStringLiteral("labelPleaseWait"));
    m_labelGenerating->setObjectName(QStringLiteral("labelGenerating"));
    m_progressBar->setObjectName(QStringLiteral("ProgressBar"));

    QFont bold = m_labelPleaseWait->font();
    bold.setBold(true);
    m_labelPleaseWait->setFont(bold);
    m_progressBar->setTextVisible(false);
    m_progressBar->setMinimumWidth(BarWidth);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_labelPleaseWait);
    layout->addWidget(m_labelGenerating);
    layout->addWidget(m_progressBar);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Input goes nowhere else while the build runs: the build lets events run, and a click in
    // the export dialog could otherwise start a second build inside the first.
    setWindowModality(Qt::ApplicationModal);
}

void TdlgProgress::Start(qsizetype maximum)
{
    m_progressBar->setRange(0, clampToInt(maximum));
    m_progressBar->setValue(0);
    setWindowTitle(m_labelGenerating->text());
    adjustSize();
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    QCoreApplication::processEvents();
}

void TdlgProgress::SetPosition(qsizetype position)
{
    m_progressBar->setValue(std::min(clampToInt(position), m_progressBar->maximum()));
    QCoreApplication::processEvents();
}

// Input goes back to the window the build runs for; not every window manager hands it back.
void TdlgProgress::Finish()
{
    hide();
    if (QWidget* owner = parentWidget(); owner && owner->isVisible())
        owner->activateWindow();
}

// The window belongs to the build that showed it: only Finish hides it.
void TdlgProgress::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

void TdlgProgress::reject() {}

} // namespace dirka
