#include "gui/print/print_command.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProgressDialog>

namespace dirka {

namespace {

constexpr int ShowProgressAfterMs = 300;
constexpr QSize PreviewSize(900, 720);

// What the pages are painted for: the preview on screen, or the printer or file.
enum class EPaintFor { Preview, Printer };

QString progressText(EPaintFor purpose, int pages)
{
    if (purpose == EPaintFor::Preview)
        return QStringLiteral("Preparing the preview...");
    return pages == 1 ? QStringLiteral("Printing 1 page...")
                      : QStringLiteral("Printing %1 pages...").arg(pages);
}

// Paints the pages onto printer with a progress window; answers the page count, -1 when the
// user cancelled.
int paintWithProgress(QWidget* parent, QPrinter& printer, const TPrintJob& job, EPaintFor purpose)
{
    QProgressDialog progress(QStringLiteral("Laying out the pages..."), QStringLiteral("Cancel"), 0,
                             0, parent);
    progress.setObjectName(QStringLiteral("dlgPrintProgress"));
    progress.setWindowTitle(QStringLiteral("Print"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(ShowProgressAfterMs);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    const int pages = PrintResult(printer, job, [&](int done, int total) {
        if (total > 0 && progress.maximum() != total) {
            progress.setLabelText(progressText(purpose, total));
            progress.setMaximum(total);
        }
        progress.setValue(done);
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    });
    progress.hide();
    return pages;
}

// The preview's own Print asks for the printer, prints and closes the preview even when the
// printing was cancelled; this one keeps the preview open then, and removes the half file.
void takeOverPrint(QPrintPreviewDialog& dialog, QPrinter& printer, EPaintFor& purpose,
                   bool& cancelled)
{
    auto* preview = dialog.findChild<QPrintPreviewWidget*>();
    for (QAction* action : dialog.findChildren<QAction*>()) {
        if (action->text() != QStringLiteral("Print") || !preview)
            continue;
        // Ctrl+P, which opened the preview, prints from it.
        action->setShortcut(QKeySequence::Print);
        QObject::disconnect(action, &QAction::triggered, &dialog, nullptr);
        QObject::connect(action, &QAction::triggered, &dialog, [&, preview] {
            QPrintDialog ask(&printer, &dialog);
            if (ask.exec() != QDialog::Accepted)
                return;
            purpose = EPaintFor::Printer;
            cancelled = false;
            preview->print();
            purpose = EPaintFor::Preview;
            if (!cancelled)
                dialog.accept();
        });
    }
}

} // namespace

void RunPrintPreview(QWidget* parent, const TPrintJob& job)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Dirka result"));
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("dlgPrintPreview"));
    dialog.resize(PreviewSize);
    EPaintFor purpose = EPaintFor::Preview;
    bool cancelled = false;
    takeOverPrint(dialog, printer, purpose, cancelled);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* target) {
        const int pages =
            paintWithProgress(dialog.isVisible() ? &dialog : parent, *target, job, purpose);
        if (pages >= 0) {
            if (purpose == EPaintFor::Preview)
                dialog.setWindowTitle(pages == 1
                                          ? QStringLiteral("Print Preview - 1 page")
                                          : QStringLiteral("Print Preview - %1 pages").arg(pages));
            return;
        }
        cancelled = true;
        // A cancelled print to a file would leave half a document.
        if (purpose == EPaintFor::Printer && target->outputFormat() == QPrinter::PdfFormat &&
            !target->outputFileName().isEmpty())
            QFile::remove(target->outputFileName());
    });
    dialog.exec();
}

} // namespace dirka
