#include "core/settings/settings_store.h"

#include "core/system/file_io.h"
#include "core/text/char_tables.h"
#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include "version.h"
#include <QStandardPaths>
#include <QStringDecoder>

namespace dirka {

namespace {

constexpr char16_t HeaderLine[] = u"Windows Registry Editor Version 5.00";
constexpr char16_t RootName[] = u"HKEY_CURRENT_USER\\";
// A settings file is a few kilobytes; anything far larger is not ours and is not read whole.
constexpr qint64 MaxFileSize = 64 * 1024 * 1024;

[[noreturn]] void throwFor(const char* format, QStringView name)
{
    throw ERegistryException(QString::fromLatin1(format).arg(name));
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

QString decodeFile(const QByteArray& bytes)
{
    if (bytes.startsWith("\xFF\xFE")) {
        QStringDecoder decoder(QStringDecoder::Utf16LE, QStringDecoder::Flag::Stateless);
        QString text = decoder(QByteArrayView(bytes).sliced(2));
        // The decoder passes lone surrogates through. They are no characters, as bytes that are
        // not UTF-8 are not, and become U+FFFD the same way: a name read must be one the
        // file's UTF-8 can hold when the key is written again.
        for (qsizetype i = 0; i < text.size(); ++i)
            if (isLoneSurrogate(text, i))
                text[i] = QChar(ReplacementChar);
        return text;
    }
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    return QString::fromUtf8(bytes);
}

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
void readValueLine(QStringView line, TRegKey& key)
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

ERegistryException::ERegistryException(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

// Names match without regard to case, as in the registry. A hand-edited file may hold very
// many names, so they are found through an index rather than by a scan.
const TRegValue* TRegKey::Value(QStringView name) const
{
    const auto found = m_index.constFind(name.toString().toCaseFolded());
    return found == m_index.constEnd() ? nullptr : &m_values[*found].Value;
}

void TRegKey::SetValue(const QString& name, const TRegValue& value)
{
    const QString folded = name.toCaseFolded();
    const auto found = m_index.constFind(folded);
    if (found != m_index.constEnd()) {
        m_values[*found].Value = value;
        return;
    }
    m_index.insert(folded, m_values.size());
    m_values.append({name, value});
    m_removed.append(false);
}

// A removed value only leaves the index at once; the list is compacted when it is next read, so
// a file of many deletions loads in linear time.
void TRegKey::RemoveValue(QStringView name)
{
    const auto found = m_index.constFind(name.toString().toCaseFolded());
    if (found == m_index.constEnd())
        return;
    m_removed[*found] = true;
    m_index.erase(found);
    m_anyRemoved = true;
}

const QList<TRegKey::TNamedValue>& TRegKey::Values() const
{
    if (m_anyRemoved) {
        qsizetype kept = 0;
        for (qsizetype i = 0; i < m_values.size(); ++i) {
            if (!m_removed[i])
                m_values[kept++] = std::move(m_values[i]);
        }
        m_values.resize(kept);
        m_removed.fill(false, kept);
        m_index.clear();
        for (qsizetype i = 0; i < kept; ++i)
            m_index.insert(m_values[i].Name.toCaseFolded(), i);
        m_anyRemoved = false;
    }
    return m_values;
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

TRegKey ParseRegistryText(const QByteArray& bytes, bool writable)
{
    TRegKey key(writable);
    const QString text = decodeFile(bytes);
    // Lines are taken one at a time: a list of them all costs 16 bytes a line, many times the
    // size of a file of short lines, and more memory than a limited process may have.
    qsizetype next = 0;
    const auto nextLine = [&](QStringView& line) {
        if (next > text.size())
            return false;
        qsizetype end = text.indexOf(u'\n', next);
        if (end < 0)
            end = text.size();
        line = QStringView(text).sliced(next, end - next);
        next = end + 1;
        return true;
    };
    const QString section = sectionName();
    bool inSection = false;
    for (QStringView raw; nextLine(raw);) {
        QString line = raw.trimmed().toString();
        if (line.startsWith(u'[')) {
            inSection = line.endsWith(u']') && QStringView(line)
                                                       .sliced(1, line.size() - 2)
                                                       .compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection || !line.startsWith(u'"'))
            continue;
        // A long hex list goes on over lines that end in a backslash. Only the new piece is
        // looked at each time, so a value over many lines is read in linear time.
        if (line.endsWith(u'\\') && line.contains(u"=hex", Qt::CaseInsensitive)) {
            while (line.endsWith(u'\\') && nextLine(raw)) {
                line.chop(1);
                line += raw.trimmed();
            }
        }
        readValueLine(line, key);
    }
    return key;
}

QByteArray FormatRegistryText(const TRegKey& key)
{
    QString text = QString::fromUtf16(HeaderLine) + u"\r\n\r\n[" + sectionName() + u"]\r\n";
    for (const TRegKey::TNamedValue& entry : key.Values())
        text += quoted(entry.Name) + u'=' + valueData(entry.Value) + u"\r\n";
    text += u"\r\n";
    return text.toUtf8();
}

std::optional<TRegKey> OpenKeyForReading(const QString& path)
{
    const std::optional<QByteArray> bytes = ReadFileBytes(path, MaxFileSize);
    if (!bytes)
        return std::nullopt;
    return ParseRegistryText(*bytes, false);
}

// --- typed reads and writes ------------------------------------------------------------------

namespace {

// The value of name when it exists; throws when it exists with a type the caller cannot take.
const TRegValue* typedValue(const TRegKey* key, QStringView name, bool text)
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

bool writeValue(TRegKey* key, QStringView name, const TRegValue& value)
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

bool RegReadBool(const TRegKey* key, QStringView name, bool& value)
{
    const TRegValue* stored = typedValue(key, name, false);
    if (stored)
        value = stored->Dword != 0;
    return stored;
}

bool RegReadInteger(const TRegKey* key, QStringView name, int& value)
{
    const TRegValue* stored = typedValue(key, name, false);
    if (stored)
        value = static_cast<int>(stored->Dword);
    return stored;
}

bool RegReadText(const TRegKey* key, QStringView name, QString& value)
{
    const TRegValue* stored = typedValue(key, name, true);
    if (stored)
        value = stored->Text;
    return stored;
}

bool RegWriteBool(TRegKey* key, QStringView name, bool value)
{
    return writeValue(key, name, dwordValue(value ? 1 : 0));
}

bool RegWriteInteger(TRegKey* key, QStringView name, int value)
{
    return writeValue(key, name, dwordValue(static_cast<std::uint32_t>(value)));
}

bool RegWriteText(TRegKey* key, QStringView name, QStringView value)
{
    TRegValue text;
    text.Text = value.toString();
    return writeValue(key, name, text);
}

} // namespace dirka
