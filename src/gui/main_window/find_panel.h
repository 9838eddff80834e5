#pragma once

#include "core/text/find_text.h"

#include <QFrame>

class QAction;
class QLineEdit;
class QMenu;
class QToolButton;

// The search panel under the result: the find text, its options and the Next and Back buttons.
namespace dirka {

class TFindPanel : public QFrame {
    Q_OBJECT
public:
    explicit TFindPanel(QWidget* parent = nullptr);

    /// The panel's buttons run these commands of the window.
    void SetCommands(QAction* hide, QAction* findNext, QAction* findBack);

    QLineEdit* edFind() const { return m_edFind; }
    QString FindText() const;
    TFindOptions Options() const;
    /// Selects the whole find text and focuses it.
    void EnterFindText();

private:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showOptions();

    QToolButton* m_sbtnFindX;
    QLineEdit* m_edFind;
    QToolButton* m_sbtnFindOptions;
    QToolButton* m_sbtnFindNext;
    QToolButton* m_sbtnFindBack;
    QMenu* m_pmFind;
    QAction* m_miCaseSensitive;
    QAction* m_miWholeWordsOnly;
    QAction* m_hide = nullptr;
    QAction* m_findNext = nullptr;
};

} // namespace dirka
