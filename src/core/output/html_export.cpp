#include "core/output/html_export.h"

#include "core/system/program_info.h"
#include "core/system/web_addresses.h"
#include "core/text/assertion.h"
#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string_view>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace dirka {

namespace {

// The most bytes one unit can take: "&quot;" in an attribute, "&amp;" in content, three
// %XX for a unit of a link address.
constexpr qsizetype AttributeBytesPerUnit = 6;
constexpr qsizetype ContentBytesPerUnit = 5;
constexpr qsizetype AddressBytesPerUnit = 9;
// The most bytes one byte of a path's bytes takes in an attribute: "&amp;".
constexpr qsizetype AmpersandBytes = 5;
// "<a href=\"", "file://", "/", "\">", "</a>", CR LF and room to spare.
constexpr qsizetype LinkFrameBytes = 48;

enum class TEscape {
    None,      // a plain address for display
    Content,   // element content: & < >
    Attribute, // a double-quoted attribute value: & < > " and tab
};

template <std::size_t N> char* put(char* p, const char (&literal)[N])
{
    return std::copy_n(literal, N - 1, p);
}

// Units XML 1.0 does not allow (or that would break a line of the page) are shown as U+FFFD,
// as the result text shows them.
bool needsReplacement(char16_t c, TEscape escape)
{
    if (c < 0x20)
        return escape != TEscape::None && c != u'\t';
    return c >= 0xFFFE;
}

// Text as standard UTF-8 with the escaping of its place in the page.
template <TEscape Escape> char* putText(char* p, QStringView text)
{
    const char16_t* s = Units(text);
    const qsizetype n = text.size();
    return PutAsciiRuns<true>(p, text, [s, n](char* at, qsizetype& i) {
        const char16_t c = s[i];
        if (Escape != TEscape::None) {
            if (c == u'&')
                return put(at, "&amp;");
            if (c == u'<')
                return put(at, "&lt;");
            if (c == u'>')
                return put(at, "&gt;");
        }
        if (Escape == TEscape::Attribute) {
            if (c == u'"')
                return put(at, "&quot;");
            // A literal tab in an attribute value would be read back as a space.
            if (c == u'\t')
                return put(at, "&#9;");
        }
        if (c < 0x80 && !needsReplacement(c, Escape)) {
            *at++ = char(c);
            return at;
        }
        if (!QChar::isSurrogate(c))
            return PutUtf8(at, needsReplacement(c, Escape) ? ReplacementChar : c);
        return PutSurrogateUtf8(at, s, i, n);
    });
}

// The characters a link address keeps as they are: unreserved ones, "/" and the sub-delimiters
// that need no encoding inside a path, and "@".
constexpr std::array<bool, 128> keptInAddress()
{
    std::array<bool, 128> kept{};
    for (char c = 'A'; c <= 'Z'; ++c)
        kept[std::size_t(c)] = true;
    for (char c = 'a'; c <= 'z'; ++c)
        kept[std::size_t(c)] = true;
    for (char c = '0'; c <= '9'; ++c)
        kept[std::size_t(c)] = true;
    for (const char c : std::string_view("-._~/!$&'()*+,;=@"))
        kept[std::size_t(c)] = true;
    return kept;
}
constexpr std::array<bool, 128> KeptInAddress = keptInAddress();

char* putPercent(char* p, const char* bytes, const char* end)
{
    for (; bytes != end; ++bytes) {
        const auto b = static_cast<unsigned char>(*bytes);
        *p++ = '%';
        *p++ = HexDigits[b >> 4];
        *p++ = HexDigits[b & 0x0F];
    }
    return p;
}

// The path percent-encoded from the bytes the file system knows it by (undecodable names as
// their original bytes), the delimiter written as "/".
template <TEscape Escape> char* putEncodedPath(char* p, QStringView path)
{
    // Reused: a page encodes a path per line. One per thread, so pages can be built at once.
    thread_local QByteArray bytes;
    bytes.truncate(0);
    AppendEncodedFileName(bytes, path);
    for (const char byte : std::as_const(bytes)) {
        const auto b = static_cast<unsigned char>(byte == char(PathDelimiter) ? '/' : byte);
        if (b < 0x80 && KeptInAddress[b]) {
            // "&" is the only kept character with a meaning inside an attribute.
            if (Escape != TEscape::None && b == '&')
                p = put(p, "&amp;");
            else
                *p++ = char(b);
            continue;
        }
        p = putPercent(p, &byte, &byte + 1);
    }
    return p;
}

// What a byte of a path's bytes becomes in a link address: kept, "&amp;" (an attribute's "&"),
// "/" (the delimiter) or %XX.
enum class TAddressByte : unsigned char { Kept, Ampersand, Delimiter, Percent };

template <TEscape Escape> constexpr std::array<TAddressByte, 256> addressBytes()
{
    std::array<TAddressByte, 256> kinds{};
    for (std::size_t b = 0; b < 256; ++b) {
        if (b == std::size_t(PathDelimiter))
            kinds[b] = b == '/' ? TAddressByte::Kept : TAddressByte::Delimiter;
        else if (b >= 0x80 || !KeptInAddress[b])
            kinds[b] = TAddressByte::Percent;
        else if (Escape != TEscape::None && b == '&')
            kinds[b] = TAddressByte::Ampersand;
        else
            kinds[b] = TAddressByte::Kept;
    }
    return kinds;
}

#ifdef __SSE2__
// A mask of the bytes of a block that are letters, digits, "/", ".", "-" or "_": kept in every
// address, with no meaning in an attribute.
unsigned plainAddressBytes(__m128i block)
{
    const auto within = [block](char low, char high) {
        return _mm_and_si128(_mm_cmpgt_epi8(block, _mm_set1_epi8(char(low - 1))),
                             _mm_cmplt_epi8(block, _mm_set1_epi8(char(high + 1))));
    };
    // Bytes from 0x80 on are negative as signed bytes and fall outside every range.
    __m128i plain = _mm_or_si128(within('a', 'z'), within('A', 'Z'));
    plain = _mm_or_si128(plain, within('-', '9')); // - . / 0-9
    plain = _mm_or_si128(plain, _mm_cmpeq_epi8(block, _mm_set1_epi8('_')));
    if constexpr (PathDelimiter != u'/')
        plain = _mm_andnot_si128(_mm_cmpeq_epi8(block, _mm_set1_epi8(char(PathDelimiter))), plain);
    return unsigned(_mm_movemask_epi8(plain));
}
#endif

// Writes bytes from p on: runs of plain bytes (the bits of plainMask(block) for a block of
// sixteen) copied sixteen at a time, every other byte through putOther(p, byte). The last
// bytes are looked at in the block that ends with them. p has room for sixteen bytes more than
// a run needs.
template <typename PlainMask, typename PutOther>
char* putByteRuns(char* p, QByteArrayView bytes, PlainMask plainMask, PutOther putOther)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = b + bytes.size();
    while (b != end) {
#ifdef __SSE2__
        if (end - b >= 16) {
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), block);
            const unsigned plain = plainMask(block);
            const int run = plain == 0xFFFF ? 16 : std::countr_one(plain);
            p += run;
            b += run;
            if (run == 16)
                continue;
        } else if (bytes.size() >= 16) {
            const int left = int(end - b);
            const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(end - 16));
            const unsigned plain = (plainMask(block) >> (16 - left)) | (~0U << left);
            const int run = std::min(std::countr_one(plain), left);
            std::memcpy(p, b, std::size_t(run));
            p += run;
            b += run;
            if (b == end)
                break;
        }
#endif
        p = putOther(p, *b);
        ++b;
    }
    return p;
}

// putEncodedPath from the path's bytes, made by the caller.
template <TEscape Escape> char* putEncodedBytes(char* p, QByteArrayView bytes)
{
    static constexpr std::array<TAddressByte, 256> Kinds = addressBytes<Escape>();
#ifdef __SSE2__
    const auto plainMask = [](__m128i block) { return plainAddressBytes(block); };
#else
    const auto plainMask = [](auto) { return 0U; };
#endif
    return putByteRuns(p, bytes, plainMask, [](char* at, unsigned char b) {
        const TAddressByte kind = Kinds[b];
        if (kind == TAddressByte::Kept) {
            *at++ = char(b);
        } else if (kind == TAddressByte::Percent) {
            *at++ = '%';
            *at++ = HexDigits[b >> 4];
            *at++ = HexDigits[b & 0x0F];
        } else if (kind == TAddressByte::Ampersand) {
            at = put(at, "&amp;");
        } else {
            *at++ = '/';
        }
        return at;
    });
}

// putText<TEscape::Content> of a line whose units are all ASCII, from its bytes.
char* putAsciiContent(char* p, QByteArrayView bytes)
{
#ifdef __SSE2__
    const auto plainMask = [](__m128i block) {
        __m128i special = _mm_cmplt_epi8(block, _mm_set1_epi8(0x20));
        special = _mm_or_si128(special, _mm_cmpeq_epi8(block, _mm_set1_epi8('&')));
        special = _mm_or_si128(special, _mm_cmpeq_epi8(block, _mm_set1_epi8('<')));
        special = _mm_or_si128(special, _mm_cmpeq_epi8(block, _mm_set1_epi8('>')));
        return ~unsigned(_mm_movemask_epi8(special)) & 0xFFFFU;
    };
#else
    const auto plainMask = [](auto) { return 0U; };
#endif
    return putByteRuns(p, bytes, plainMask, [](char* at, unsigned char b) {
        if (b == '&')
            return put(at, "&amp;");
        if (b == '<')
            return put(at, "&lt;");
        if (b == '>')
            return put(at, "&gt;");
        if (b < 0x20 && b != '\t')
            return PutUtf8(at, ReplacementChar);
        *at++ = char(b);
        return at;
    });
}

struct TLinkRule {
    QStringView ListedLocation;
    bool IsRelative = false;
    QStringView Prefix;

    bool IsRelativeFor(QStringView path) const
    {
        return IsRelative && !ListedLocation.isEmpty() && path.startsWith(ListedLocation);
    }
    qsizetype MaxBytes(QStringView path) const
    {
        return AttributeBytesPerUnit * Prefix.size() + AddressBytesPerUnit * path.size() +
               LinkFrameBytes;
    }
};

template <TEscape Escape> char* putAddress(char* p, QStringView path, const TLinkRule& rule)
{
    const char* start = p;
    if (rule.IsRelativeFor(path)) {
        p = putText<Escape>(p, rule.Prefix);
        p = putEncodedPath<Escape>(p, path.sliced(rule.ListedLocation.size()));
    } else {
        p = put(p, "file://");
        // An absolute path starts with "/" already; a drive path needs it ("file:///C:/...").
        if (!path.startsWith(u'/') && !path.startsWith(PathDelimiter))
            *p++ = '/';
        p = putEncodedPath<Escape>(p, path);
    }
    if (p == start)
        p = put(p, "./");
    return p;
}

// Leading blanks and a ":: " marker stay outside the link.
qsizetype linkStart(QStringView line)
{
    qsizetype k = 0;
    while (k < line.size() && (line[k] == u' ' || line[k] == u'\t'))
        ++k;
    if (line.sliced(k).startsWith(u":: "))
        k += 3;
    return k;
}

// putAddress with the path's bytes; listedBytes are the location's, a prefix of them.
char* putAddressFromBytes(char* p, QStringView path, QByteArrayView pathBytes,
                          const TLinkRule& rule, qsizetype listedBytes)
{
    const char* start = p;
    if (rule.IsRelativeFor(path)) {
        p = putText<TEscape::Attribute>(p, rule.Prefix);
        p = putEncodedBytes<TEscape::Attribute>(p, pathBytes.sliced(listedBytes));
    } else {
        p = put(p, "file://");
        if (!path.startsWith(u'/') && !path.startsWith(PathDelimiter))
            *p++ = '/';
        p = putEncodedBytes<TEscape::Attribute>(p, pathBytes);
    }
    if (p == start)
        p = put(p, "./");
    return p;
}

void appendAttribute(QByteArray& out, QStringView text)
{
    char* p = detail::ReserveTail(out, AttributeBytesPerUnit * text.size());
    detail::FinishTail(out, putText<TEscape::Attribute>(p, text));
}

void appendHeader(QByteArray& out, const THtmlExportOptions& options)
{
    out.append("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\"\r\n"
               "    \"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\r\n"
               "<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"en-US\" lang=\"en-US\">\r\n"
               "<head>\r\n"
               "<meta http-equiv=\"content-type\" content=\"text/html; charset=UTF-8\" />\r\n"
               "<title>File List</title>\r\n"
               "<meta name=\"created\" content=\"");
    out.append(options.Created.toString(u"yyyy-MM-dd").toLatin1());
    out.append("T\" />\r\n"
               "<meta name=\"generator\" content=\"Dirka ");
    appendAttribute(out, options.FileVersion);
    out.append("; ");
    appendAttribute(out, options.SiteRoot);
    out.append("\" />\r\n"
               "</head>\r\n"
               "<body>\r\n"
               "<pre>\r\n");
}

void appendFooter(QByteArray& out, const THtmlExportOptions& options)
{
    out.append("</pre>\r\n"
               "<hr /><small>Generated with <a href=\"");
    appendAttribute(out, options.SiteRoot);
    appendAttribute(out, options.LanguageCode);
    out.append("_Dirka.html\">Dirka - Create file list</a>.</small>\r\n"
               "</body>\r\n"
               "</html>\r\n"
               "\r\n");
}

void appendItem(QByteArray& out, QStringView line, QStringView path, bool linked,
                const TLinkRule& rule)
{
    if (!linked) {
        char* p = detail::ReserveTail(out, ContentBytesPerUnit * line.size() + 2);
        p = putText<TEscape::Content>(p, line);
        detail::FinishTail(out, put(p, "\r\n"));
        return;
    }
    const qsizetype k = linkStart(line);
    char* p = detail::ReserveTail(out, ContentBytesPerUnit * line.size() + rule.MaxBytes(path));
    p = putText<TEscape::Content>(p, line.first(k));
    p = put(p, "<a href=\"");
    p = putAddress<TEscape::Attribute>(p, path, rule);
    p = put(p, "\">");
    p = putText<TEscape::Content>(p, line.sliced(k));
    p = put(p, "</a>\r\n");
    detail::FinishTail(out, p);
}

bool hasExtension(QStringView path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        if (path[i] == u'.')
            return true;
        if (path[i] == PathDelimiter)
            return false;
    }
    return false;
}

QString withSlashes(QStringView path)
{
    QString out = path.toString();
    if (PathDelimiter != u'/')
        out.replace(QChar(PathDelimiter), u'/');
    return out;
}

} // namespace

THtmlPageEncoder::THtmlPageEncoder(THtmlExportOptions options)
    : m_options(std::move(options)), m_listedBytes(EncodeFileName(m_options.ListedLocation)),
      m_listedSplits(m_options.ListedLocation.endsWith(PathDelimiter))
{
}

void THtmlPageEncoder::AppendHead(QByteArray& out)
{
    appendHeader(out, m_options);
}

void THtmlPageEncoder::AppendLine(QByteArray& out, QStringView line, QStringView path) const
{
    const TLinkRule rule{m_options.ListedLocation, m_options.IsRelative, m_options.Prefix};
    const bool linked =
        !path.isEmpty() && (m_options.IsLinkFolders || path.back() != PathDelimiter);
    appendItem(out, line, path, linked, rule);
}

void THtmlPageEncoder::AppendLine(QByteArray& out, QStringView line, QStringView path,
                                  QByteArrayView pathBytes, QByteArrayView asciiLine) const
{
    const TLinkRule rule{m_options.ListedLocation, m_options.IsRelative, m_options.Prefix};
    const bool linked =
        !path.isEmpty() && (m_options.IsLinkFolders || path.back() != PathDelimiter);
    if (!linked || (!m_listedSplits && rule.IsRelativeFor(path))) {
        appendItem(out, line, path, linked, rule);
        return;
    }
    const qsizetype k = linkStart(line);
    char* p = detail::ReserveTail(out, ContentBytesPerUnit * line.size() +
                                           AttributeBytesPerUnit * rule.Prefix.size() +
                                           AmpersandBytes * pathBytes.size() + LinkFrameBytes + 16);
    const bool ascii = !asciiLine.isEmpty();
    p = ascii ? putAsciiContent(p, asciiLine.first(k))
              : putText<TEscape::Content>(p, line.first(k));
    p = put(p, "<a href=\"");
    p = putAddressFromBytes(p, path, pathBytes, rule, m_listedBytes.size());
    p = put(p, "\">");
    p = ascii ? putAsciiContent(p, asciiLine.sliced(k))
              : putText<TEscape::Content>(p, line.sliced(k));
    p = put(p, "</a>\r\n");
    detail::FinishTail(out, p);
}

void THtmlPageEncoder::AppendFoot(QByteArray& out)
{
    appendFooter(out, m_options);
}

void THtmlPageEncoder::AppendLine(QByteArray& out, const TPassedLine& line)
{
    if (line.PathBytes.isEmpty())
        AppendLine(out, line.Line, line.Path);
    else
        AppendLine(out, line.Line, line.Path, line.PathBytes, line.AsciiLine);
}

QString THtmlPageEncoder::ErrorText(TWriteStage stage, QStringView message) const
{
    return HtmlExportErrorText(stage == TWriteStage::Write ? THtmlStage::Write : THtmlStage::Build,
                               message);
}

QByteArray BuildHtmlPage(const THtmlExportOptions& options)
{
    Assert(options.Lines != nullptr);
    THtmlPageEncoder page(options);
    QByteArray out;
    EncodeLines(
        page, *options.Lines, [&out](const QByteArray& piece) { out.append(piece); },
        options.Progress);
    return out;
}

THtmlExportOptions HtmlPageOptions(const QString& listedLocation, bool relative,
                                   const QString& prefix, bool linkFolders)
{
    THtmlExportOptions options;
    options.ListedLocation = listedLocation;
    options.IsRelative = relative;
    options.Prefix = prefix;
    options.IsLinkFolders = linkFolders;
    options.SiteRoot = ExportGeneratorAddress();
    options.FileVersion = Info().VersionInfo.FileVersion;
    options.LanguageCode = Info().LanguageCode;
    options.Created = QDate::currentDate();
    return options;
}

THtmlExport ExportHtmlPage(const QString& fileName, const THtmlExportOptions& options,
                           const THtmlExportHooks& hooks)
{
    THtmlExport result;
    try {
        result.Stage = THtmlStage::Build;
        QByteArray page = BuildHtmlPage(options);
        result.Stage = THtmlStage::Show;
        if (hooks.Show)
            hooks.Show(page);
        result.Stage = THtmlStage::Write;
        WriteFileBytes(fileName, page);
        result.Written = true;
        page = QByteArray(); // the preview reads the file; two copies of a large page are a lot
        result.Stage = THtmlStage::Preview;
        if (hooks.Preview)
            hooks.Preview();
    } catch (const EAssertionFailed&) {
        throw; // a programming error belongs to the error report, not to this message
    } catch (const std::exception& error) {
        result.ErrorText = HtmlExportErrorText(result.Stage, QString::fromUtf8(error.what()));
    }
    return result;
}

QString HtmlExportErrorText(THtmlStage stage, QStringView message)
{
    return QStringLiteral("Error #4022/%1. Problem during HTML export.\r\n").arg(int(stage)) +
           message.toString();
}

QString LinkAddress(QStringView path, QStringView listedLocation, bool relative, QStringView prefix)
{
    const TLinkRule rule{listedLocation, relative, prefix};
    QByteArray bytes;
    char* p = detail::ReserveTail(bytes, rule.MaxBytes(path));
    detail::FinishTail(bytes, putAddress<TEscape::None>(p, path, rule));
    return QString::fromUtf8(bytes);
}

QString ExamplePathOf(const TResultText& lines)
{
    const qsizetype count = lines.LineCount();
    for (qsizetype i = 0; i < count; ++i) {
        const QString path = lines.PathOf(int(i));
        if (hasExtension(path))
            return withSlashes(path);
    }
    return {};
}

QString ExampleAddress(QStringView examplePath, QStringView listedLocation, bool relative,
                       QStringView prefix)
{
    if (examplePath.isEmpty())
        return relative ? prefix.toString() : QStringLiteral("file:///");
    return LinkAddress(examplePath, withSlashes(listedLocation), relative, prefix);
}

} // namespace dirka
