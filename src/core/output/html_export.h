#pragma once

#include "core/listing/result_text.h"
#include "core/output/line_encoder.h"
#include "core/output/text_file_writer.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QStringView>

#include <functional>
#include <utility>

// The XHTML 1.0 Transitional page of a result: every result line inside one <pre> block, the
// lines that show a listed file (and, on request, a folder) as links to it. The page is
// standard UTF-8 without a mark and well-formed XML whatever the file names: line text is
// escaped, link addresses are percent-encoded from the path's bytes and then escaped for the
// attribute.
namespace dirka {

struct THtmlExportOptions {
    const TResultText* Lines = nullptr;
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

/// The page format, for a result that is written while it is listed too: the head, each
/// result line with the path of its item (empty for a line without one), the foot. Options.Lines
/// is not used.
class THtmlPageEncoder : public TLineEncoder {
public:
    explicit THtmlPageEncoder(THtmlExportOptions options);
    void AppendHead(QByteArray& out) override;
    void AppendLine(QByteArray& out, const TPassedLine& line) override;
    void AppendFoot(QByteArray& out) override;
    /// The stage of a page written a line at a time: Build while reading, Write while writing.
    QString ErrorText(TWriteStage stage, QStringView message) const override;

    void AppendLine(QByteArray& out, QStringView line, QStringView path) const;
    /// The same with pathBytes, EncodeFileName(path) (file_names.h), made once by a caller that
    /// needs them for more than the page, and asciiLine, the line's bytes when every unit of a
    /// line that is not empty is ASCII (otherwise empty).
    void AppendLine(QByteArray& out, QStringView line, QStringView path, QByteArrayView pathBytes,
                    QByteArrayView asciiLine = {}) const;

private:
    THtmlExportOptions m_options;
    // The bytes of ListedLocation, and whether a path's bytes after them are the bytes of the
    // path after it (the location ends in the delimiter).
    QByteArray m_listedBytes;
    bool m_listedSplits = false;
};

/// The whole page of options.Lines as it is written, with the paths from their line store.
/// Empties the store's lookup cache first, so the build's sequential path lookups start clean.
QByteArray BuildHtmlPage(const THtmlExportOptions& options);

/// The stages of a page export, numbered as the error message names them.
enum class THtmlStage {
    Build = 10,   // the page is built from the lines
    Show = 20,    // the caller shows the built page (the dialog's source view)
    Write = 30,   // the file is written
    Preview = 40, // the caller shows the written file
};

/// What a caller does between the stages; either may be empty. An exception from a hook ends
/// the export with that hook's stage.
struct THtmlExportHooks {
    std::function<void(const QByteArray& page)> Show;
    std::function<void()> Preview;
};

/// How a page export ended: an empty ErrorText means every stage completed.
struct THtmlExport {
    THtmlStage Stage = THtmlStage::Build; // the stage reached
    bool Written = false;                 // the file was written (a later stage may still fail)
    QString ErrorText;
    bool Ok() const { return ErrorText.isEmpty(); }
};

/// The options of a page of the last listing run, with the program's own facts (site root,
/// version, language, today's date) filled in: the one place both the export dialog and the
/// command line take them from. Relative links need a single listed location.
THtmlExportOptions HtmlPageOptions(const QString& listedLocation, bool relative,
                                   const QString& prefix, bool linkFolders);

/// Builds the page and writes it to fileName (replacing it only when complete), running the
/// hooks between the stages; the page is let go before Preview, which reads the file. Any
/// failure is caught and described in ErrorText with the stage reached; a failed assertion is
/// a programming error and goes on to the caller.
THtmlExport ExportHtmlPage(const QString& fileName, const THtmlExportOptions& options,
                           const THtmlExportHooks& hooks = {});

/// "Error #4022/30. Problem during HTML export." CR LF message
QString HtmlExportErrorText(THtmlStage stage, QStringView message);

/// The link address of path, before the attribute escaping:
/// LinkAddress(u"/m/Rock/a b.mp3", u"/m/", true, u"") == "Rock/a%20b.mp3",
/// LinkAddress(u"/m/a.mp3", u"/m/", false, u"") == "file:///m/a.mp3", and "./" for an address
/// that would be empty.
QString LinkAddress(QStringView path, QStringView listedLocation, bool relative,
                    QStringView prefix);

/// The path of the first line whose item has an extension (a "." after its last delimiter),
/// with "/" for the delimiter; empty when no line has one.
QString ExamplePathOf(const TResultText& lines);

/// The example address shown beside the link options: the address examplePath gets, or the
/// bare prefix (Relative) or "file:///" (Full) when there is no example path.
QString ExampleAddress(QStringView examplePath, QStringView listedLocation, bool relative,
                       QStringView prefix);

} // namespace dirka
