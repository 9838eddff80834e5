#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

// The typed settings store: one registry key kept as a text file in the format of a registry
// export. The file holds the key "HKEY_CURRENT_USER\Software\Pelmora\Dirka\2.1":
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CURRENT_USER\Software\Pelmora\Dirka\2.1]
//   "MaxDepth"=dword:00000009
//   "PathSave"="<Desktop>"
//   "PathList"=hex(1):61,00,0a,00,62,00,00,00
//
// Texts with a line break, another control character or a lone surrogate are written as hex(1)
// (UTF-16 LE with the terminating null) so they survive the line-based format unchanged.
namespace dirka {

/// A failed typed read or write of the store: "Invalid data type for 'S.Mode'".
class ESettingsFileError : public std::runtime_error {
public:
    explicit ESettingsFileError(const QString& message);
    QString Message() const { return QString::fromUtf8(what()); }
};

/// The stored types; the numbers are the registry's type codes.
enum class TRegType : int { Text = 1, ExpandText = 2, Binary = 3, Dword = 4 };

/// One stored value. Dword holds the number of a Dword value, Text the text of a Text or
/// ExpandText value, Bytes the data of any other type (Type may then be any code).
struct TRegValue {
    int Type = int(TRegType::Text);
    std::uint32_t Dword = 0;
    QString Text;
    QByteArray Bytes;
};

/// An opened key: its values by name, in the order they were first set. Names compare without
/// regard to case, as the registry's do. A hand-edited file may hold millions of names the
/// program never reads; they are kept for a save, packed, in about the size of their text.
class TSettingsKey {
public:
    explicit TSettingsKey(bool writable = true) : m_writable(writable) {}

    bool IsWritable() const { return m_writable; }
    /// The value of that name, or null when there is none. The value is unpacked for the
    /// caller and stays valid until the next call of Value().
    const TRegValue* Value(QStringView name) const;
    /// Replaces the value of that name in place, or adds it at the end.
    void SetValue(const QString& name, const TRegValue& value);
    void RemoveValue(QStringView name);

    struct TNamedValue {
        QString Name;
        TRegValue Value;
    };
    /// The values in the order they were set, removed ones left out; unpacked on demand and
    /// valid until the key changes.
    const QList<TNamedValue>& Values() const;

private:
    friend TSettingsKey ParseRegistryText(const QByteArray& bytes, bool writable, bool* hasSection);

    // A name or a text in one of the two stores: one byte a unit when every unit fits in
    // Latin-1 (nearly every name), else UTF-16.
    struct TPacked {
        quint32 Start = 0;
        quint32 Size = 0; // the top bit: in m_wide
    };
    // One value. Offsets are 32-bit: a settings file is read only up to 64 MB.
    struct TEntry {
        TPacked Name;
        // A text packed as the name is; for other data its place in m_bytes (Size without the
        // top bit); for a Dword its number in Start.
        TPacked Data;
        qint32 Type = 0;
    };
    static constexpr quint32 NoEntry = 0xFFFFFFFF;
    static constexpr quint32 RemovedEntry = 0xFFFFFFFE;

    TPacked pack(QStringView text);
    QString unpack(TPacked packed) const;
    bool sameName(const TEntry& entry, QStringView name) const;
    std::size_t nameHash(const TEntry& entry) const;
    TRegValue valueOf(const TEntry& entry) const;
    void store(TEntry& entry, const TRegValue& value);
    // The index slot that holds name, or the free slot where it would go.
    qsizetype slotOf(QStringView name, std::size_t hash) const;
    void growIndex();
    // Room for the values of a file of that many bytes, and what is left given back after it.
    void reserve(qsizetype bytes);
    void squeeze();

    bool m_writable;
    QByteArray m_latin1;
    QString m_wide;
    QByteArray m_bytes;
    std::vector<TEntry> m_entries;
    std::vector<bool> m_removed;
    std::vector<quint32> m_index; // open addressing by folded name: entry number or a mark
    qsizetype m_indexUsed = 0;    // slots holding an entry or a removal mark
    mutable TRegValue m_found;
    mutable QList<TNamedValue> m_unpacked;
    mutable bool m_unpackedValid = false;
};

/// "Software\Pelmora\Dirka\2.1", the key under HKEY_CURRENT_USER.
QString SettingsKeyPath();

/// $XDG_CONFIG_HOME/Pelmora/Dirka/2.1.reg (QStandardPaths' generic config folder).
QString SettingsFilePath();

/// The values of the settings key in a registry export. A UTF-8 (or UTF-16 LE) byte-order mark,
/// CR LF or LF line ends, and hex(N): continuation lines are accepted; lines that do not parse
/// and values of other keys are ignored; a repeated name: the last wins; "Name"=- removes.
/// ParseRegistryText("[HKEY_CURRENT_USER\\Software\\Pelmora\\Dirka\\2.1]\n\"A\"=dword:0000000a")
/// holds A = 10.
/// hasSection, when given, tells whether the text has the key's section line at all.
TSettingsKey ParseRegistryText(const QByteArray& bytes, bool writable, bool* hasSection = nullptr);

/// The whole export of key as UTF-8 with CR LF line ends, values in the key's order.
QByteArray FormatRegistryText(const TSettingsKey& key);

/// Opens the key stored at path for reading: no key when there is no regular file there or it
/// cannot be read (as a registry key that cannot be opened). problem, when given, says why a
/// file that is there gives no key, or that it has no section of the key (an empty key):
/// "Permission denied", "not a regular file", "larger than 64 MiB"; empty for no file at all.
std::optional<TSettingsKey> OpenKeyForReading(const QString& path, QString* problem = nullptr);

// Typed reads and writes. key may be absent (null): then each returns false and does nothing.
// A read returns false and leaves value as it was when the value does not exist; a value of
// another type throws ESettingsFileError "Invalid data type for '<name>'". A write to a key
// opened for reading only throws "Failed to set data for '<name>'".

/// RegReadBool(&key, u"IsSound", flag): any Dword other than 0 reads as true.
bool RegReadBool(const TSettingsKey* key, QStringView name, bool& value);
/// RegReadInteger(&key, u"MaxDepth", n): the Dword's 32 bits as a signed number.
bool RegReadInteger(const TSettingsKey* key, QStringView name, int& value);
/// RegReadText(&key, u"PathList", text): Text and ExpandText values, taken literally.
bool RegReadText(const TSettingsKey* key, QStringView name, QString& value);
/// RegWriteBool(&key, u"IsSound", true) stores dword:00000001.
bool RegWriteBool(TSettingsKey* key, QStringView name, bool value);
/// RegWriteInteger(&key, u"MaxDepth", -1) stores dword:ffffffff.
bool RegWriteInteger(TSettingsKey* key, QStringView name, int value);
/// RegWriteText(&key, u"PathList", u"/data") stores a Text value.
bool RegWriteText(TSettingsKey* key, QStringView name, QStringView value);

} // namespace dirka
