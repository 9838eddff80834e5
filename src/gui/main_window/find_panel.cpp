#include "gui/main_window/find_panel.h"

#include "gui/desktop/help.h"
#include "gui/widgets/flat_button.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>
#include <QToolButton>

namespace dirka {

namespace {

constexpr int MaxFindLength = 100;

} // namespace

TFindPanel::TFindPanel(QWidget* parent)
    : QFrame(parent), m_sbtnFindX(FlatButton(this, "sbtnFindX", QString())),
      m_edFind(new QLineEdit(this)),
      m_sbtnFindOptions(FlatButton(this, "sbtnFindOptions", QString())),
      m_sbtnFindNext(FlatButton(this, "sbtnFindNext", QStringLiteral("Next"))),
      m_sbtnFindBack(FlatButton(this, "sbtnFindBack", QStringLiteral("Back"))),
      m_pmFind(new QMenu(this)),
      m_miCaseSensitive(m_pmFind->addAction(QStringLiteral("Case sensitive"))),
      m_miWholeWordsOnly(m_pmFind->addAction(QStringLiteral("Whole words only")))
{
    setObjectName(QStringLiteral("panelFind"));
    m_pmFind->setObjectName(QStringLiteral("pmFind"));
    m_miCaseSensitive->setObjectName(QStringLiteral("miCaseSensitive"));
    m_miWholeWordsOnly->setObjectName(QStringLiteral("miWholeWordsOnly"));
    m_miCaseSensitive->setCheckable(true);
    m_miWholeWordsOnly->setCheckable(true);

    m_sbtnFindX->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton));
    m_sbtnFindX->setToolTip(QStringLiteral("Hide Search Panel"));
    m_sbtnFindOptions->setArrowType(Qt::DownArrow);
    m_sbtnFindOptions->setToolTip(QStringLiteral("Search options"));

    m_edFind->setObjectName(QStringLiteral("edFind"));
    m_edFind->setMaxLength(MaxFindLength);
    m_edFind->setClearButtonEnabled(true);
    m_edFind->addAction(style()->standardIcon(QStyle::SP_FileDialogContentsView),
                        QLineEdit::LeadingPosition);
    m_edFind->setPlaceholderText(QStringLiteral("Find in results"));
    m_edFind->installEventFilter(this);
    m_edFind->setAcceptDrops(false); // a dropped item is listed by the window
    SetHelpContext(m_edFind, FindBoxHelpContext);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(2);
    layout->addWidget(m_sbtnFindX);
    layout->addWidget(m_edFind, 1);
    layout->addWidget(m_sbtnFindOptions);
    layout->addSpacing(4);
    layout->addWidget(m_sbtnFindNext);
    layout->addWidget(m_sbtnFindBack);
    layout->addStretch(0);
    m_edFind->setMinimumWidth(160);
    m_edFind->setMaximumWidth(360);

    connect(m_sbtnFindOptions, &QToolButton::clicked, this, &TFindPanel::showOptions);
}

void TFindPanel::SetCommands(QAction* hide, QAction* findNext, QAction* findBack)
{
    m_hide = hide;
    m_findNext = findNext;
    connect(m_sbtnFindX, &QToolButton::clicked, hide, &QAction::trigger);
    connect(m_sbtnFindNext, &QToolButton::clicked, findNext, &QAction::trigger);
    connect(m_sbtnFindBack, &QToolButton::clicked, findBack, &QAction::trigger);
    m_sbtnFindNext->setToolTip(findNext->toolTip());
    m_sbtnFindBack->setToolTip(findBack->toolTip());
}

QString TFindPanel::FindText() const
{
    return m_edFind->text();
}

TFindOptions TFindPanel::Options() const
{
    return {.CaseSensitive = m_miCaseSensitive->isChecked(),
            .WholeWords = m_miWholeWordsOnly->isChecked()};
}

void TFindPanel::EnterFindText()
{
    m_edFind->selectAll();
    m_edFind->setFocus(Qt::ShortcutFocusReason);
}

// The menu opens below the options button, lined up with the find box's left edge.
void TFindPanel::showOptions()
{
    const QPoint corner(
        m_edFind->mapToGlobal(QPoint(0, 0)).x(),
        m_sbtnFindOptions->mapToGlobal(QPoint(0, m_sbtnFindOptions->height() + 1)).y());
    m_pmFind->popup(corner);
}

bool TFindPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_edFind || event->type() != QEvent::KeyPress)
        return QFrame::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_findNext) {
        m_findNext->trigger();
        return true;
    }
    if (key == Qt::Key_Escape && m_hide) {
        m_hide->trigger();
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

} // namespace dirka
