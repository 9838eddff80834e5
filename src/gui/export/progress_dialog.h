#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;

// The small "Please Wait" window shown while the HTML export builds and shows its page.
namespace dirka {

class TProgressDialog : public QDialog {
    Q_OBJECT
public:
    explicit TProgressDialog(QWidget* parent = nullptr);

    /// Position 0 of maximum; shows the window centred on the screen, captioned with its
    /// "Generating HTML" label. It takes the input while shown, so nothing can start a second
    /// build or close the window behind it while the build lets events run.
    void Start(qsizetype maximum);
    /// Moves the bar and lets pending events run, so the windows repaint.
    void SetPosition(qsizetype position);
    /// Hides the window.
    void Finish();

    QProgressBar* ProgressBar() const { return m_progressBar; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    QLabel* m_labelPleaseWait;
    QLabel* m_labelGenerating;
    QProgressBar* m_progressBar;
};

} // namespace dirka
