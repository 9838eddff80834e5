#include "core/settings/settings_store.h"

#include "core/system/file_io.h"
#include "core/text/assertion.h"
#include "core/text/char_tables.h"
#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include "version.h"
#include <QStandardPaths>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirka {

namespace {

constexpr char16_t HeaderLine[] = u"Windows Registry Editor Version 5.00";
constexpr char16_t RootName[] = u"HKEY_CURRENT_USER\\";
// A settings file is a few kilobytes; anything far larger is not ours and is not read whole.
constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

[[noreturn]] void throwFor(const char* format, QStringView name)
{
    throw ESettingsFileError(QString::fromLatin1(format).arg(name));
}

bool isLoneSurrogate(QStringView text, qsizetype i)
{
    const QChar c = text[i];
    if (c.isHighSurrogate())
        return i + 1 >= text.size() || !text[i + 1].isLowSurrogate();
    if (c.isLowSurrogate())
        return i == 0 || !text[i - 1].isHighSurrogate();
    return false;
}

// A text that a quoted line cannot carry unchanged: line breaks and other controls would split
// or blur the line, and UTF-8 cannot hold a lone surrogate.
bool needsHexForm(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i)
        if (IsControlChar(text[i].unicode()) || isLoneSurrogate(text, i))
            return true;
    return false;
}

QString quoted(QStringView text)
{
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        if (c == u'\\' || c == u'"')
            out += u'\\';
        out += c;
    }
    return out + u'"';
}

QByteArray utf16Bytes(QStringView text)
{
    QByteArray bytes;
    bytes.reserve((text.size() + 1) * 2);
    for (QChar c : text) {
        bytes += char(c.unicode() & 0xFF);
        bytes += char(c.unicode() >> 8);
    }
    bytes += '\0';
    bytes += '\0';
    return bytes;
}

QString hexData(int type, const QByteArray& bytes)
{
    QString out = type == int(TRegType::Binary) ? QStringLiteral("hex:")
                                                : QStringLiteral("hex(%1):").arg(type, 0, 16);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            out += u',';
        out += QStringLiteral("%1").arg(uchar(bytes[i]), 2, 16, QLatin1Char('0'));
    }
    return out;
}

QString valueData(const TRegValue& value)
{
    switch (value.Type) {
    case int(TRegType::Dword):
        return QStringLiteral("dword:%1").arg(value.Dword, 8, 16, QLatin1Char('0'));
    case int(TRegType::Text):
        if (!needsHexForm(value.Text))
            return quoted(value.Text);
        return hexData(value.Type, utf16Bytes(value.Text));
    case int(TRegType::ExpandText):
        return hexData(value.Type, utf16Bytes(value.Text));
    default:
        return hexData(value.Type, value.Bytes);
    }
}

// --- reading ---------------------------------------------------------------------------------

// The lines of a file one at a time, without their LF. A UTF-8 file (nearly every one) is
// decoded a line at a time: the whole text at once would cost twice the file's size again.
class TLineReader {
public:
    explicit TLineReader(const QByteArray& bytes) : m_bytes(bytes)
    {
        if (bytes.startsWith("\xFF\xFE"))
            m_text = utf16Text(QByteArrayView(bytes).sliced(2));
        else if (bytes.startsWith("\xEF\xBB\xBF"))
            m_next = 3;
    }

    bool Next(QString& line)
    {
        const bool wide = !m_text.isNull();
        const qsizetype size = wide ? m_text.size() : m_bytes.size();
        if (m_next > size)
            return false;
        qsizetype end = wide ? m_text.indexOf(u'\n', m_next) : m_bytes.indexOf('\n', m_next);
        if (end < 0)
            end = size;
        line = wide ? m_text.sliced(m_next, end - m_next)
                    : QString::fromUtf8(QByteArrayView(m_bytes).sliced(m_next, end - m_next));
        m_next = end + 1;
        return true;
    }

private:
    static QString utf16Text(QByteArrayView bytes)
    {
        QStringDecoder decoder(QStringDecoder::Utf16LE, QStringDecoder::Flag::Stateless);
        QString text = decoder(bytes);
        // The decoder passes lone surrogates through. They are no characters, as bytes that are
        // not UTF-8 are not, and become U+FFFD the same way: a name read must be one the
        // file's UTF-8 can hold when the key is written again.
        for (qsizetype i = 0; i < text.size(); ++i)
            if (isLoneSurrogate(text, i))
                text[i] = QChar(ReplacementChar);
        return text;
    }

    const QByteArray& m_bytes;
    QString m_text; // a UTF-16 file, decoded whole
    qsizetype m_next = 0;
};

// Reads a quoted text starting at pos (on the opening quote); pos ends after the closing quote.
// Only \\ and \" are escapes; a backslash before anything else stays, as a hand edit meant it.
std::optional<QString> readQuoted(QStringView line, qsizetype& pos)
{
    if (pos >= line.size() || line[pos] != u'"')
        return std::nullopt;
    QString text;
    for (qsizetype i = pos + 1; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'"') {
            pos = i + 1;
            return text;
        }
        if (c == u'\\' && i + 1 < line.size() && (line[i + 1] == u'\\' || line[i + 1] == u'"'))
            ++i;
        text += line[i];
    }
    return std::nullopt;
}

void skipBlanks(QStringView line, qsizetype& pos)
{
    while (pos < line.size() && (line[pos] == u' ' || line[pos] == u'\t'))
        ++pos;
}

std::optional<QByteArray> readHexBytes(QStringView list)
{
    QByteArray bytes;
    const QString compact = list.toString().remove(u' ').remove(u'\t');
    if (compact.isEmpty())
        return bytes;
    for (QStringView item : QStringView(compact).split(u',')) {
        bool ok = false;
        const uint byte = item.toUInt(&ok, 16);
        if (!ok || item.size() > 2)
            return std::nullopt;
        bytes += char(byte);
    }
    return bytes;
}

std::optional<TRegValue> valueFromBytes(int type, const QByteArray& bytes)
{
    TRegValue value;
    value.Type = type;
    if (type == int(TRegType::Text) || type == int(TRegType::ExpandText)) {
        if (bytes.size() % 2 != 0)
            return std::nullopt;
        for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
            value.Text += QChar(char16_t(uchar(bytes[i]) | uchar(bytes[i + 1]) << 8));
        if (value.Text.endsWith(QChar(0)))
            value.Text.chop(1);
    } else if (type == int(TRegType::Dword)) {
        if (bytes.size() != 4)
            return std::nullopt;
        for (int i = 3; i >= 0; --i)
            value.Dword = value.Dword << 8 | uchar(bytes[i]);
    } else {
        value.Bytes = bytes;
    }
    return value;
}

std::optional<TRegValue> readHexValue(QStringView data)
{
    int type = int(TRegType::Binary);
    qsizetype colon = 3;
    if (data.startsWith(u"hex(", Qt::CaseInsensitive)) {
        const qsizetype close = data.indexOf(u')');
        bool ok = false;
        type = close > 4 ? data.sliced(4, close - 4).toInt(&ok, 16) : 0;
        if (!ok)
            return std::nullopt;
        colon = close + 1;
    }
    if (colon >= data.size() || data[colon] != u':')
        return std::nullopt;
    const std::optional<QByteArray> bytes = readHexBytes(data.sliced(colon + 1));
    if (!bytes)
        return std::nullopt;
    return valueFromBytes(type, *bytes);
}

std::optional<TRegValue> readData(QStringView data)
{
    if (data.startsWith(u'"')) {
        qsizetype pos = 0;
        std::optional<QString> text = readQuoted(data, pos);
        if (!text || !data.sliced(pos).trimmed().isEmpty())
            return std::nullopt;
        TRegValue value;
        value.Text = *text;
        return value;
    }
    if (data.startsWith(u"dword:", Qt::CaseInsensitive)) {
        const QStringView digits = data.sliced(6);
        bool ok = false;
        const uint number = digits.toUInt(&ok, 16);
        if (!ok || digits.isEmpty() || digits.size() > 8 || digits.startsWith(u'+') ||
            digits.startsWith(u'-'))
            return std::nullopt;
        TRegValue value;
        value.Type = int(TRegType::Dword);
        value.Dword = number;
        return value;
    }
    if (data.startsWith(u"hex", Qt::CaseInsensitive))
        return readHexValue(data);
    return std::nullopt;
}

// One '"Name"=data' line of the key's section; lines that do not parse change nothing.
void readValueLine(QStringView line, TSettingsKey& key)
{
    qsizetype pos = 0;
    const std::optional<QString> name = readQuoted(line, pos);
    if (!name)
        return;
    skipBlanks(line, pos);
    if (pos >= line.size() || line[pos] != u'=')
        return;
    ++pos;
    skipBlanks(line, pos);
    const QStringView data = line.sliced(pos);
    if (data == u"-") {
        key.RemoveValue(*name);
        return;
    }
    if (const std::optional<TRegValue> value = readData(data))
        key.SetValue(*name, *value);
}

QString sectionName()
{
    return QString::fromUtf16(RootName) + SettingsKeyPath();
}

} // namespace

ESettingsFileError::ESettingsFileError(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

namespace {

// FNV-1a over the units of a name already folded, or folded here when it is plain ASCII.
template <typename View> std::size_t hashFolded(View name)
{
    std::size_t hash = 1469598103934665603ull;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = QChar(name.at(i)).unicode();
        hash = (hash ^ (c >= u'A' && c <= u'Z' ? c + 32 : c)) * 1099511628211ull;
    }
    return hash;
}

// The hash of a name as the registry compares it: without regard to case. ASCII names, nearly
// all of them, are folded without a copy.
template <typename View> std::size_t foldedHash(View name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (QChar(name.at(i)).unicode() >= 0x80)
            return hashFolded(QStringView(name.toString().toCaseFolded()));
    }
    return hashFolded(name);
}

bool isTextType(int type)
{
    return type == int(TRegType::Text) || type == int(TRegType::ExpandText);
}

constexpr quint32 WideBit = 0x80000000;

quint32 offset(qsizetype size)
{
    Assert(size < qsizetype(WideBit));
    return quint32(size);
}

bool fitsLatin1(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x100; });
}

} // namespace

TSettingsKey::TPacked TSettingsKey::pack(QStringView text)
{
    if (fitsLatin1(text)) {
        const TPacked packed{offset(m_latin1.size()), offset(text.size())};
        m_latin1.resize(m_latin1.size() + text.size());
        std::transform(text.begin(), text.end(), m_latin1.data() + packed.Start,
                       [](QChar c) { return char(c.unicode()); });
        return packed;
    }
    const TPacked packed{offset(m_wide.size()), offset(text.size()) | WideBit};
    m_wide += text;
    return packed;
}

QString TSettingsKey::unpack(TPacked packed) const
{
    const qsizetype size = packed.Size & ~WideBit;
    if (packed.Size & WideBit)
        return m_wide.sliced(packed.Start, size);
    return QString::fromLatin1(m_latin1.constData() + packed.Start, size);
}

bool TSettingsKey::sameName(const TEntry& entry, QStringView name) const
{
    const qsizetype size = entry.Name.Size & ~WideBit;
    if (size != name.size() && !(entry.Name.Size & WideBit))
        return false; // one Latin-1 unit never folds to two
    if (entry.Name.Size & WideBit)
        return QStringView(m_wide)
                   .sliced(entry.Name.Start, size)
                   .compare(name, Qt::CaseInsensitive) == 0;
    return QLatin1StringView(m_latin1.constData() + entry.Name.Start, size)
               .compare(name, Qt::CaseInsensitive) == 0;
}

std::size_t TSettingsKey::nameHash(const TEntry& entry) const
{
    const qsizetype size = entry.Name.Size & ~WideBit;
    if (entry.Name.Size & WideBit)
        return foldedHash(QStringView(m_wide).sliced(entry.Name.Start, size));
    return foldedHash(QLatin1StringView(m_latin1.constData() + entry.Name.Start, size));
}

TRegValue TSettingsKey::valueOf(const TEntry& entry) const
{
    TRegValue value;
    value.Type = entry.Type;
    if (entry.Type == int(TRegType::Dword))
        value.Dword = entry.Data.Start;
    else if (isTextType(entry.Type))
        value.Text = unpack(entry.Data);
    else
        value.Bytes = m_bytes.sliced(entry.Data.Start, entry.Data.Size);
    return value;
}

// A value set again leaves its old text behind: a file that sets one name many times holds at
// most its own size of them.
void TSettingsKey::store(TEntry& entry, const TRegValue& value)
{
    entry.Type = value.Type;
    if (value.Type == int(TRegType::Dword)) {
        entry.Data = {value.Dword, 0};
    } else if (isTextType(value.Type)) {
        entry.Data = pack(value.Text);
    } else {
        entry.Data = {offset(m_bytes.size()), offset(value.Bytes.size())};
        m_bytes += value.Bytes;
    }
    m_unpackedValid = false;
}

qsizetype TSettingsKey::slotOf(QStringView name, std::size_t hash) const
{
    const std::size_t mask = m_index.size() - 1;
    qsizetype firstFree = -1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const quint32 entry = m_index[slot];
        if (entry == NoEntry)
            return firstFree >= 0 ? firstFree : qsizetype(slot);
        if (entry == RemovedEntry) {
            if (firstFree < 0)
                firstFree = qsizetype(slot);
        } else if (sameName(m_entries[entry], name)) {
            return qsizetype(slot);
        }
    }
}

// At most three quarters full, so a search ends soon; removal marks are dropped on the way.
void TSettingsKey::growIndex()
{
    std::size_t size = 16;
    while (3 * size < 4 * (m_entries.size() + 1) || size < 2 * m_entries.size())
        size *= 2;
    m_index.assign(size, NoEntry);
    m_indexUsed = 0;
    const std::size_t mask = size - 1;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (m_removed[i])
            continue;
        std::size_t slot = nameHash(m_entries[i]) & mask;
        while (m_index[slot] != NoEntry) // names held are distinct: the first free slot
            slot = (slot + 1) & mask;
        m_index[slot] = quint32(i);
        ++m_indexUsed;
    }
}

const TRegValue* TSettingsKey::Value(QStringView name) const
{
    if (m_index.empty())
        return nullptr;
    const quint32 entry = m_index[std::size_t(slotOf(name, foldedHash(name)))];
    if (entry == NoEntry || entry == RemovedEntry)
        return nullptr;
    m_found = valueOf(m_entries[entry]);
    return &m_found;
}

void TSettingsKey::SetValue(const QString& name, const TRegValue& value)
{
    if (4 * std::size_t(m_indexUsed + 1) > 3 * m_index.size())
        growIndex();
    const qsizetype slot = slotOf(name, foldedHash(QStringView(name)));
    quint32& found = m_index[std::size_t(slot)];
    if (found != NoEntry && found != RemovedEntry) {
        store(m_entries[found], value);
        return;
    }
    if (found == NoEntry)
        ++m_indexUsed;
    found = offset(qsizetype(m_entries.size()));
    TEntry entry;
    entry.Name = pack(name);
    store(entry, value);
    m_entries.push_back(entry);
    m_removed.push_back(false);
}

// A removed value leaves a mark in the index and its entry is skipped, so a file of many
// deletions loads in linear time.
void TSettingsKey::RemoveValue(QStringView name)
{
    if (m_index.empty())
        return;
    quint32& found = m_index[std::size_t(slotOf(name, foldedHash(name)))];
    if (found == NoEntry || found == RemovedEntry)
        return;
    m_removed[found] = true;
    found = RemovedEntry;
    m_unpackedValid = false;
}

const QList<TSettingsKey::TNamedValue>& TSettingsKey::Values() const
{
    if (!m_unpackedValid) {
        m_unpacked.clear();
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            if (!m_removed[i])
                m_unpacked.append({unpack(m_entries[i].Name), valueOf(m_entries[i])});
        }
        m_unpackedValid = true;
    }
    return m_unpacked;
}

// Names and texts are parts of the file's lines, in no more bytes. The values are not counted
// ahead: a file of many lines that are no values would reserve for nothing.
void TSettingsKey::reserve(qsizetype bytes)
{
    m_latin1.reserve(bytes);
}

void TSettingsKey::squeeze()
{
    m_latin1.squeeze();
    m_wide.squeeze();
    m_bytes.squeeze();
    m_entries.shrink_to_fit();
    m_removed.shrink_to_fit();
}

QString SettingsKeyPath()
{
    return u"Software\\Pelmora\\Dirka\\" + QLatin1StringView(ShortVersionText);
}

// The user's config folder. Qt decodes the environment lossily, so on Unix the folder is
// taken from the raw bytes, and a folder name that is not UTF-8 still reaches the file.
QString configFolder()
{
#ifndef Q_OS_WIN
    if (!QStandardPaths::isTestModeEnabled()) {
        const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
        if (xdg.startsWith('/'))
            return DecodeFileName(xdg);
        const QByteArray home = qgetenv("HOME");
        if (home.startsWith('/'))
            return DecodeFileName(home) + u"/.config";
    }
#endif
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString SettingsFilePath()
{
    return configFolder() + u"/Pelmora/Dirka/" + QLatin1StringView(ShortVersionText) + u".reg";
}

TSettingsKey ParseRegistryText(const QByteArray& bytes, bool writable, bool* hasSection)
{
    TSettingsKey key(writable);
    if (hasSection)
        *hasSection = false;
    key.reserve(bytes.size());
    TLineReader lines(bytes);
    const QString section = sectionName();
    bool inSection = false;
    for (QString raw; lines.Next(raw);) {
        QString line = raw.trimmed();
        if (line.startsWith(u'[')) {
            inSection = line.endsWith(u']') && QStringView(line)
                                                       .sliced(1, line.size() - 2)
                                                       .compare(section, Qt::CaseInsensitive) == 0;
            if (inSection && hasSection)
                *hasSection = true;
            continue;
        }
        if (!inSection || !line.startsWith(u'"'))
            continue;
        // A long hex list goes on over lines that end in a backslash. Only the new piece is
        // looked at each time, so a value over many lines is read in linear time.
        if (line.endsWith(u'\\') && line.contains(u"=hex", Qt::CaseInsensitive)) {
            while (line.endsWith(u'\\') && lines.Next(raw)) {
                line.chop(1);
                line += raw.trimmed();
            }
        }
        readValueLine(line, key);
    }
    key.squeeze();
    return key;
}

QByteArray FormatRegistryText(const TSettingsKey& key)
{
    QString text = QString::fromUtf16(HeaderLine) + u"\r\n\r\n[" + sectionName() + u"]\r\n";
    for (const TSettingsKey::TNamedValue& entry : key.Values())
        text += quoted(entry.Name) + u'=' + valueData(entry.Value) + u"\r\n";
    text += u"\r\n";
    return text.toUtf8();
}

namespace {

// Why ReadFileBytes gave nothing for path; empty when there is no file.
QString unreadableReason(const QString& path)
{
    struct stat facts {};
    if (::stat(EncodeFileName(path).constData(), &facts) != 0)
        return errno == ENOENT ? QString() : SystemErrorText(errno);
    if (!S_ISREG(facts.st_mode))
        return QStringLiteral("not a regular file");
    if (facts.st_size > MaxFileSize)
        return QStringLiteral("larger than %1 MiB").arg(MaxFileSize >> 20);
    const int fd = ::open(EncodeFileName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return SystemErrorText(errno);
    ::close(fd);
    return QStringLiteral("it could not be read");
}

} // namespace

std::optional<TSettingsKey> OpenKeyForReading(const QString& path, QString* problem)
{
    const std::optional<QByteArray> bytes = ReadFileBytes(path, MaxFileSize);
    if (!bytes) {
        if (problem)
            *problem = unreadableReason(path);
        return std::nullopt;
    }
    bool hasSection = false;
    TSettingsKey key = ParseRegistryText(*bytes, false, &hasSection);
    if (problem && !hasSection)
        *problem = u"no [" + sectionName() + u"] line";
    return key;
}

// --- typed reads and writes ------------------------------------------------------------------

namespace {

// The value of name when it exists; throws when it exists with a type the caller cannot take.
const TRegValue* typedValue(const TSettingsKey* key, QStringView name, bool text)
{
    const TRegValue* value = key ? key->Value(name) : nullptr;
    if (!value)
        return nullptr;
    const bool isText =
        value->Type == int(TRegType::Text) || value->Type == int(TRegType::ExpandText);
    const bool isDword = value->Type == int(TRegType::Dword);
    if (text ? !isText : !isDword)
        throwFor("Invalid data type for '%1'", name);
    return value;
}

bool writeValue(TSettingsKey* key, QStringView name, const TRegValue& value)
{
    if (!key)
        return false;
    // A name the file format cannot carry on one line cannot be stored.
    if (!key->IsWritable() || name.isEmpty() || needsHexForm(name))
        throwFor("Failed to set data for '%1'", name);
    key->SetValue(name.toString(), value);
    return true;
}

TRegValue dwordValue(std::uint32_t number)
{
    TRegValue value;
    value.Type = int(TRegType::Dword);
    value.Dword = number;
    return value;
}

} // namespace

bool RegReadBool(const TSettingsKey* key, QStringView name, bool& value)
{
    const TRegValue* stored = typedValue(key, name, false);
    if (stored)
        value = stored->Dword != 0;
    return stored;
}

bool RegReadInteger(const TSettingsKey* key, QStringView name, int& value)
{
    const TRegValue* stored = typedValue(key, name, false);
    if (stored)
        value = static_cast<int>(stored->Dword);
    return stored;
}

bool RegReadText(const TSettingsKey* key, QStringView name, QString& value)
{
    const TRegValue* stored = typedValue(key, name, true);
    if (stored)
        value = stored->Text;
    return stored;
}

bool RegWriteBool(TSettingsKey* key, QStringView name, bool value)
{
    return writeValue(key, name, dwordValue(value ? 1 : 0));
}

bool RegWriteInteger(TSettingsKey* key, QStringView name, int value)
{
    return writeValue(key, name, dwordValue(static_cast<std::uint32_t>(value)));
}

bool RegWriteText(TSettingsKey* key, QStringView name, QStringView value)
{
    TRegValue text;
    text.Text = value.toString();
    return writeValue(key, name, text);
}

} // namespace dirka
