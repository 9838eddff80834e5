#include "gui/print/print_command.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>

namespace dirka {

namespace {

constexpr int ShowProgressAfterMs = 300;
constexpr QSize PreviewSize(900, 720);

// Paints the pages onto printer with a progress window; answers the page count, -1 when the
// user cancelled.
int paintWithProgress(QWidget* parent, QPrinter& printer, const TPrintJob& job)
{
    QProgressDialog progress(QStringLiteral("Laying out the pages..."), QStringLiteral("Cancel"), 0,
                             0, parent);
    progress.setObjectName(QStringLiteral("dlgPrintProgress"));
    progress.setWindowTitle(QStringLiteral("Print"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(ShowProgressAfterMs);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    const int pages = PrintResult(printer, job, [&progress](int done, int total) {
        if (total > 0 && progress.maximum() != total) {
            progress.setLabelText(QStringLiteral("Printing %1 pages...").arg(total));
            progress.setMaximum(total);
        }
        progress.setValue(done);
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    });
    progress.hide();
    return pages;
}

} // namespace

void RunPrintPreview(QWidget* parent, const TPrintJob& job)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Dirka result"));
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("dlgPrintPreview"));
    dialog.resize(PreviewSize);
    // Ctrl+P, which opened the preview, prints from it.
    for (QAction* action : dialog.findChildren<QAction*>()) {
        if (action->text() == QStringLiteral("Print"))
            action->setShortcut(QKeySequence::Print);
    }
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&dialog, parent, &job](QPrinter* target) {
                         const int pages =
                             paintWithProgress(dialog.isVisible() ? &dialog : parent, *target, job);
                         if (pages >= 0) {
                             dialog.setWindowTitle(
                                 pages == 1
                                     ? QStringLiteral("Print Preview - 1 page")
                                     : QStringLiteral("Print Preview - %1 pages").arg(pages));
                             return;
                         }
                         // A cancelled print to a file would leave half a document.
                         if (target->outputFormat() == QPrinter::PdfFormat &&
                             !target->outputFileName().isEmpty())
                             QFile::remove(target->outputFileName());
                     });
    dialog.exec();
}

} // namespace dirka
