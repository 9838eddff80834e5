#pragma once

#include <QByteArrayView>
#include <QString>

#include <functional>

class QTextDocument;

// Showing a page written by the HTML export in a text document. Qt's HTML parser needs seconds
// for the 100,000 lines of a large result and cannot let events run meanwhile; the lines of an
// export's page follow one small pattern, so they are read here directly, in steps, with the
// same formats the parser gives them.
namespace dirka {

/// Page lines that a view shows at most; a longer page is cut there with a note, since a
/// million-line page would take gigabytes in a text document. The file keeps every line.
inline constexpr qsizetype MaxShownPageLines = 200000;

/// Called every 1024 lines while a page fills a view: lines done of total.
using TLoadProgress = std::function<void(qsizetype done, qsizetype total)>;

/// The line that ends a cut view:
/// CutNoticeText(200000, 1000012) == "[The view ends here: it shows the first 200000 of
/// 1000012 lines. The file holds them all.]"
QString CutNoticeText(qsizetype shown, qsizetype total);

/// Whether page names Dirka as its generator before its <pre> block, as an exported page does.
bool IsListPage(QByteArrayView page);

/// Fills the empty doc with page as QTextDocument::setHtml would, but without the HTML parser
/// for the lines of its <pre> block; at most maxLines of them, then CutNoticeText. Answers
/// false for a page that is not an export's or too short to be worth it (fewer than three
/// lines); doc is then to be thrown away or filled by the parser.
bool LoadListPage(QTextDocument& doc, QByteArrayView page, qsizetype maxLines,
                  const TLoadProgress& progress = {});

} // namespace dirka
