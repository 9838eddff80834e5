#include "core/text_file_writer.h"

#include "core/assertion.h"
#include "core/file_names.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace dirka {

namespace {

constexpr char Utf8Mark[] = "\xEF\xBB\xBF";
constexpr qsizetype Utf8MarkLength = 3;
constexpr char32_t Replacement = 0xFFFD;

const char16_t* units(QStringView text)
{
    return reinterpret_cast<const char16_t*>(text.utf16());
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// QFileDevice leaves errorString() at "Unknown error" when a buffered write fails only at
// flush(); errno still names the cause then.
QString reasonOf(const QFileDevice& file, int error)
{
    return error ? systemReason(error) : file.errorString();
}

QString describe(const QString& fileName, const QString& reason)
{
    return fileName + u": " + reason;
}

// The real path of the folder that holds path's last component ("/dev/fd/1" gives
// "/proc/<pid>/fd"), or empty.
QString realFolderOf(const QString& path)
{
    const QFileInfo info(path);
    return QFileInfo(info.absolutePath()).canonicalFilePath();
}

// A link inside a process's descriptor folder (/dev/stdout leads to /proc/self/fd/1, /dev/fd is
// /proc/self/fd) names an open stream of that process: replacing the file it leads to by a new
// one would cut the stream off, so such a target is written in place.
bool reachedThroughProc(const QString& fileName)
{
    static const QRegularExpression descriptorFolder(
        QStringLiteral("^/proc/(\\d+|self|thread-self)(/task/\\d+)?/fd$"));
    QString path = QFileInfo(fileName).absoluteFilePath();
    for (int hop = 0; hop < 40; ++hop) {
        const QFileInfo link(path);
        if (!link.isSymLink())
            return false;
        if (descriptorFolder.match(realFolderOf(path)).hasMatch())
            return true;
        const QString target = link.symLinkTarget();
        if (target.isEmpty())
            return false;
        path = target;
    }
    return false;
}

// Devices, FIFOs, sockets and stream aliases are written in place; only an absent or regular
// file may be replaced by QSaveFile's finished copy. A folder goes to QSaveFile, which refuses
// it with its own reason.
bool isSpecialTarget(const QString& fileName)
{
    const QFileInfo target(fileName);
    if (!target.exists())
        return false;
    if (!target.isFile())
        return !target.isDir();
    return reachedThroughProc(fileName);
}

void writeDirectly(const QString& fileName, const QByteArray& bytes)
{
    QFile file(fileName);
    // A stream alias of a regular file keeps what the stream already holds, as a shell's ">>"
    // would; a device or FIFO cannot seek, so it is opened without Append.
    const QIODevice::OpenMode mode = QFileInfo(fileName).isFile()
                                         ? QIODevice::WriteOnly | QIODevice::Append
                                         : QIODevice::WriteOnly;
    if (!file.open(mode))
        throw EFileError(describe(fileName, file.errorString()));
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const int error = errno;
        throw EFileError(describe(fileName, reasonOf(file, error)));
    }
}

void writeAtomically(const QString& fileName, const QByteArray& bytes)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw EFileError(describe(fileName, file.errorString()));
    // commit() can answer true for bytes that never left the buffer (a full disk), so the
    // buffer is flushed and checked first.
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = reasonOf(file, errno);
        file.cancelWriting();
        throw EFileError(describe(fileName, reason));
    }
    if (!file.commit())
        throw EFileError(describe(fileName, file.errorString()));
}

enum class TTextKind {
    Display, // text to show: lone surrogates, U+FFFE and U+FFFF become U+FFFD
    Path,    // a stored path: lone U+DC80..U+DCFF become the bytes they stand for
};

template <TTextKind Kind> void appendUtf8(QByteArray& out, QStringView text)
{
    const char16_t* s = units(text);
    const qsizetype n = text.size();
    // Three bytes per unit is the most any unit needs (a pair takes four for two units).
    char* p = detail::ReserveTail(out, 3 * n);
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c < 0x80) {
            *p++ = char(c);
        } else if (!QChar::isSurrogate(c)) {
            const bool nonCharacter = c >= 0xFFFE;
            p = detail::PutUtf8(p, Kind == TTextKind::Display && nonCharacter ? Replacement : c);
        } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
            p = detail::PutUtf8(p, QChar::surrogateToUcs4(c, s[i + 1]));
            ++i;
        } else if (Kind == TTextKind::Display) {
            p = detail::PutUtf8(p, Replacement);
        } else if (IsEscapedByte(text, i)) {
            *p++ = char(c - 0xDC00);
        } else {
            // No file name decodes to another lone surrogate; keep its own three bytes, as
            // EncodeFileName does, rather than lose it.
            p = detail::PutUtf8(p, c);
        }
    }
    detail::FinishTail(out, p);
}

} // namespace

EFileError::EFileError(const QString& message) : std::runtime_error(message.toStdString()) {}

namespace detail {

char* ReserveTail(QByteArray& out, qsizetype extra)
{
    const qsizetype size = out.size();
    const qsizetype needed = size + extra;
    if (needed > out.capacity())
        out.reserve(std::max(needed, 2 * out.capacity()));
    out.resize(needed);
    return out.data() + size;
}

void FinishTail(QByteArray& out, const char* end)
{
    out.truncate(end - out.constData());
}

} // namespace detail

qsizetype PerUnitUtf8Length(QStringView text)
{
    const char16_t* s = units(text);
    qsizetype length = text.size();
    for (qsizetype i = 0; i < text.size(); ++i)
        length += qsizetype(s[i] >= 0x80) + qsizetype(s[i] >= 0x800);
    return length;
}

QByteArray EncodePerUnitUtf8(QStringView text, bool withMark)
{
    const qsizetype markLength = withMark ? Utf8MarkLength : 0;
    QByteArray out(markLength + PerUnitUtf8Length(text), Qt::Uninitialized);
    char* p = out.data();
    if (withMark)
        p = std::copy_n(Utf8Mark, Utf8MarkLength, p);
    const char16_t* s = units(text);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = s[i];
        if (c < 0x80) {
            *p++ = char(c);
        } else if (c < 0x800) {
            *p++ = char(0xC0 | (c >> 6));
            *p++ = char(0x80 | (c & 0x3F));
        } else {
            // Surrogate halves too: each is encoded on its own.
            *p++ = char(0xE0 | (c >> 12));
            *p++ = char(0x80 | ((c >> 6) & 0x3F));
            *p++ = char(0x80 | (c & 0x3F));
        }
    }
    Assert(p == out.constData() + out.size());
    return out;
}

QByteArray EncodeUtf16Le(QStringView text)
{
    QByteArray out(2 + 2 * text.size(), Qt::Uninitialized);
    char* p = out.data();
    *p++ = char(0xFF);
    *p++ = char(0xFE);
    qToLittleEndian<char16_t>(text.utf16(), text.size(), p);
    return out;
}

void AppendStandardUtf8(QByteArray& out, QStringView text)
{
    appendUtf8<TTextKind::Display>(out, text);
}

QByteArray StandardUtf8(QStringView text)
{
    QByteArray out;
    AppendStandardUtf8(out, text);
    return out;
}

void AppendPathBytes(QByteArray& out, QStringView path)
{
    appendUtf8<TTextKind::Path>(out, path);
}

void WriteFileBytes(const QString& fileName, const QByteArray& bytes)
{
    if (isSpecialTarget(fileName))
        writeDirectly(fileName, bytes);
    else
        writeAtomically(fileName, bytes);
}

void SaveUtf8TextFile(const QString& fileName, QStringView text, bool withMark)
{
    WriteFileBytes(fileName, EncodePerUnitUtf8(text, withMark));
}

TSaveOutcome SaveResultText(const QString& fileName, QStringView text, int code)
{
    switch (code) {
    case SaveCodeUtf8Bom:
        SaveUtf8TextFile(fileName, text, true);
        return TSaveOutcome::Written;
    case SaveCodeUtf8:
        SaveUtf8TextFile(fileName, text, false);
        return TSaveOutcome::Written;
    case SaveCodeUnicode:
        WriteFileBytes(fileName, EncodeUtf16Le(text));
        return TSaveOutcome::Written;
    default:
        return TSaveOutcome::BeepOnly;
    }
}

QString SaveErrorText(QStringView message)
{
    return u"Error #4021. Problem during saving file.\r\n" + message.toString();
}

} // namespace dirka
