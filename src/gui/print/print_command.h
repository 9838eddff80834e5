#pragma once

#include "gui/print/result_printer.h"

class QWidget;

// File > Print...: the print preview of the result, from which it is printed.
namespace dirka {

/// Shows the print preview of job over parent until it is closed. Laying out the pages shows a
/// progress window with Cancel and lets events run; the preview's title gives the page count.
/// Printing from the preview (Ctrl+P there too) asks for the printer or the PDF file and
/// paints the pages again; a cancelled print to a file leaves no file.
void RunPrintPreview(QWidget* parent, const TPrintJob& job);

} // namespace dirka
