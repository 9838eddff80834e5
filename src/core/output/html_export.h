#pragma once

#include "core/listing/lines_target.h"
#include "core/output/text_file_writer.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringView>

#include <utility>

// The XHTML 1.0 Transitional page of a result: every result line inside one <pre> block, the
// lines that show a listed file (and, on request, a folder) as links to it. The page is
// standard UTF-8 without a mark and well-formed XML whatever the file names: line text is
// escaped, link addresses are percent-encoded from the path's bytes and then escaped for the
// attribute.
namespace dirka {

struct THtmlExportOptions {
    const TLinesTarget* Lines = nullptr;
    /// The single listed location, ending in the delimiter; empty after a run of several.
    QString ListedLocation;
    /// Relative links: Prefix + the path after ListedLocation. Paths outside ListedLocation,
    /// and every path when ListedLocation is empty, get a full "file://" link.
    bool IsRelative = true;
    QString Prefix;
    bool IsLinkFolders = false;
    QString SiteRoot;     // "https://www.pelmora.example/"
    QString FileVersion;  // "2.1.0.37"
    QString LanguageCode; // "pl" or "us"
    QDate Created;
    TExportProgress Progress;
};

/// The page a piece at a time, for a result that is written while it is listed: the head, each
/// result line with the path of its item (empty for a line without one), the foot. Options.Lines
/// is not used.
class THtmlPageBuilder {
public:
    explicit THtmlPageBuilder(THtmlExportOptions options) : m_options(std::move(options)) {}
    void AppendHead(QByteArray& out) const;
    void AppendLine(QByteArray& out, QStringView line, QStringView path) const;
    void AppendFoot(QByteArray& out) const;

private:
    THtmlExportOptions m_options;
};

/// The whole page of options.Lines as it is written, with the paths from the result line store.
/// Empties the store's lookup cache first, so the build's sequential path lookups start clean.
QByteArray BuildHtmlPage(const THtmlExportOptions& options);

/// How a page export ended: an empty ErrorText means the file was written.
struct THtmlExport {
    int Stage = 0; // 10 while building, 30 while writing
    QString ErrorText;
    bool Ok() const { return ErrorText.isEmpty(); }
};

/// Builds the page and writes it to fileName (replacing it); any failure is caught and
/// described in ErrorText with the stage reached.
THtmlExport ExportHtmlPage(const QString& fileName, const THtmlExportOptions& options);

/// "Error #4022/30. Problem during HTML export." CR LF message
QString HtmlExportErrorText(int stage, QStringView message);

/// The link address of path, before the attribute escaping:
/// LinkAddress(u"/m/Rock/a b.mp3", u"/m/", true, u"") == "Rock/a%20b.mp3",
/// LinkAddress(u"/m/a.mp3", u"/m/", false, u"") == "file:///m/a.mp3", and "./" for an address
/// that would be empty.
QString LinkAddress(QStringView path, QStringView listedLocation, bool relative,
                    QStringView prefix);

/// The path of the first line whose item has an extension (a "." after its last delimiter),
/// with "/" for the delimiter; empty when no line has one.
QString ExamplePathOf(const TLinesTarget& lines);

/// The example address shown beside the link options: the address examplePath gets, or the
/// bare prefix (Relative) or "file:///" (Full) when there is no example path.
QString ExampleAddress(QStringView examplePath, QStringView listedLocation, bool relative,
                       QStringView prefix);

} // namespace dirka
