#pragma once

#include "core/listing/lines_target.h"

#include <QFont>
#include <QString>

#include <functional>

class QPrinter;

// Paints a result onto a printer (or a print preview, or a PDF file): every page with a header
// of the location and the date and a footer with the page number, the lines in the result's
// fixed-width font, tabs expanded as the view shows them, long lines wrapped.
namespace dirka {

struct TPrintJob {
    const TLinesTarget* Lines = nullptr;
    QString Location; // the header's left part
    QString Date;     // the header's right part
    QFont Font;       // the result's font
};

/// Paints job onto printer. progress(done, pages) is called before each page and after every
/// 1024 lines of the page count (pages 0 then); a false answer stops the painting. Answers the
/// number of pages painted, or -1 when stopped.
int PrintResult(QPrinter& printer, const TPrintJob& job,
                const std::function<bool(int done, int pages)>& progress = {});

} // namespace dirka
