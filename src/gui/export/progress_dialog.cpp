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

TProgressDialog::TProgressDialog(QWidget* parent)
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

    // The window only shows how far the build is: it never takes the focus from the window it
    // builds for. A modal window that is shown and hidden again leaves it to the window manager
    // to give the focus back, and some managers don't. The owner keeps its input away from the
    // build itself while it runs.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowFlag(Qt::WindowDoesNotAcceptFocus);
}

void TProgressDialog::Start(qsizetype maximum)
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

void TProgressDialog::SetPosition(qsizetype position)
{
    m_progressBar->setValue(std::min(clampToInt(position), m_progressBar->maximum()));
    QCoreApplication::processEvents();
}

// Where the platform gave the window the focus anyway, it goes back to the owner.
void TProgressDialog::Finish()
{
    const bool hadFocus = isActiveWindow();
    hide();
    if (QWidget* owner = parentWidget(); hadFocus && owner && owner->isVisible())
        owner->activateWindow();
}

// The window belongs to the build that showed it: only Finish hides it.
void TProgressDialog::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

void TProgressDialog::reject() {}

} // namespace dirka
