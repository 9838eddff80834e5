#pragma once

#include "core/listing/file_system.h"
#include "core/listing/item_facts.h"
#include "core/listing/read_ahead.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

// A saved listing read back as a second source of folders: the records file `--json` writes
// becomes the tree of the items it names, and the walk asks it for a folder's entries (name
// bytes, kind, link flag, size, time) as it would ask the disk, so every style, mask set,
// depth, order and summary lists the saved tree as the folder was when it was listed.
namespace dirka {

class TCatalog {
public:
    /// Reads a records file whole; answers the catalogue, or why it cannot be one, naming the
    /// line ("disk1.jsonl, line 7: no \"path\""). A file of no records is refused too.
    static std::shared_ptr<const TCatalog> Load(const QString& fileName, QString& problem);

    QString FileName() const { return m_fileName; }
    /// When the listing was saved: the file's modification time.
    QDateTime SavedAt() const { return m_savedAt; }
    std::size_t ItemCount() const { return m_items.size(); }
    /// The locations the saved listing listed, in its order, each ending in the delimiter.
    const QStringList& Locations() const { return m_locations; }

    /// The folder a location of Locations() names; nothing for another path.
    std::optional<std::uint32_t> LocationFolder(QStringView location) const;
    /// A folder's entries in the order the file held them, for the walk: the inode of each is
    /// its item, its facts are known (sizes too).
    TFolderContent Content(std::uint32_t folder) const;
    /// What the record of an item said.
    TItemFacts Facts(std::uint32_t item) const;

private:
    // 24 bytes: a catalogue of millions of items is held whole.
    struct TItem {
        std::int64_t Size = 0;
        std::int64_t Modified = 0;
        std::uint32_t NameStart = 0;
        std::uint16_t NameLength = 0;
        TRecordType Type = TRecordType::Folder;
        std::uint8_t Flags = 0;
    };
    friend class TCatalogBuilder;

    TEntryFacts entryFacts(const TItem& item) const;
    std::span<const std::uint32_t> childrenOf(std::uint32_t folder) const;

    QString m_fileName;
    QDateTime m_savedAt;
    QStringList m_locations;
    std::vector<std::uint32_t> m_locationFolders;
    std::vector<TItem> m_items;
    // The children of the k-th folder (folders in item order) are m_children from
    // m_childStarts[k] to m_childStarts[k + 1].
    std::vector<std::uint32_t> m_folders;
    std::vector<std::uint32_t> m_childStarts;
    std::vector<std::uint32_t> m_children;
    std::string m_names;
    std::uint64_t m_device = 0; // of its folders' identities, which no disk's device shares
};

/// The file a location names when it is a file rather than a folder ("/m/disk1.jsonl/" as the
/// location texts resolve it gives "/m/disk1.jsonl"); empty when it names none.
QString CatalogFileOf(const QString& location);

/// Whether a file is a saved listing as `--json` names it (".jsonl" or ".json" at its end, in
/// any case) or a ".csv" file that `--csv` wrote (its first line says so).
/// IsSavedListingFile(u"/c/Disk1.JSONL") == true
bool IsSavedListingFile(QStringView path);

/// The header's drive line of a location listed from a catalogue:
/// ":: Catalog: /m/disk1.jsonl; Saved: 07/12/2026 10:00:00; Items: 1234".
QString CatalogLineText(const TCatalog& catalog);

} // namespace dirka
