#include "core/listing/catalog.h"

#include "core/listing/catalog_records.h"
#include "core/listing/line_composition.h"
#include "core/text/file_names.h"
#include "core/text/text_utils.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <atomic>
#include <span>
#include <string_view>
#include <sys/stat.h>

namespace dirka {

namespace {

constexpr std::uint32_t NoItem = UINT32_MAX;
constexpr std::size_t MaxNameBytes = 255; // what a folder entry holds
constexpr std::size_t MaxPathBytes = 65535;
constexpr qsizetype ReadBytes = 1 << 20;

enum TItemFlag : std::uint8_t { IsFolderFlag = 1, HasFactsFlag = 2, RecordedFlag = 4 };

// Each catalogue's folders get a device of their own, far from any real one, so folders of two
// catalogues listed in one run never pass for each other.
std::uint64_t nextCatalogDevice()
{
    static std::atomic<std::uint64_t> serial{0};
    return UINT64_MAX - serial.fetch_add(1);
}

// A name that is empty, "." or "..": no folder holds one.
bool hasOddName(std::string_view path)
{
    for (const std::string_view odd : {"//", "/./", "/../"}) {
        if (path.find(odd) != std::string_view::npos)
            return true;
    }
    return path.ends_with("/.") || path.ends_with("/..");
}

unsigned char typeHint(TRecordType type, bool folder)
{
    if (type == TRecordType::Link)
        return DT_LNK;
    if (folder)
        return DT_DIR;
    return type == TRecordType::Special ? DT_FIFO : DT_REG;
}

} // namespace

// Puts the records into a tree while the file is read: items in file order, each folder found by
// its parent and name (folders the records imply without one of their own are made on the way),
// and the children of each folder gathered once every record is in.
class TCatalogBuilder {
public:
    explicit TCatalogBuilder(TCatalog& catalog) : m_catalog(catalog) {}
    void Reserve(qint64 fileBytes);
    QString Add(const TCatalogRecord& record);
    QString Finish();

private:
    std::uint32_t folderAt(std::string_view path, std::size_t locationLength);
    std::uint32_t newItem(std::string_view name, std::uint32_t parent, bool folder);
    void setFacts(std::uint32_t item, const TCatalogRecord& record);
    std::string_view nameOf(std::uint32_t item) const;
    std::uint32_t* folderSlot(std::uint32_t parent, std::string_view name);
    std::uint32_t addFolder(std::uint32_t folder);
    std::uint32_t knownChild(std::uint32_t parent, std::string_view name);
    void addLocation(std::string_view path, std::uint32_t folder);

    TCatalog& m_catalog;
    // The folders by parent and name, open addressing: a table of item numbers (NoItem where
    // none) instead of a map of whole paths, which took as much memory as the names.
    std::vector<std::uint32_t> m_folderTable;
    std::size_t m_folderCount = 0;
    std::vector<std::pair<std::string, std::uint32_t>> m_locationPaths;
    std::vector<std::uint32_t> m_parents; // by item; NoItem for a location's folder
    std::string m_lastFolder;             // most records share their folder with the one before
    std::uint32_t m_lastFolderItem = NoItem;
};

// A record takes at least MinRecordBytes of the file, so the file's size bounds the items:
// room for them all is taken at once and only what is filled costs memory, where growing would
// hold the old array and the new one, twice the table, at the peak.
void TCatalogBuilder::Reserve(qint64 fileBytes)
{
    constexpr qint64 MinRecordBytes = 80;
    const auto items = std::size_t(std::min<qint64>(fileBytes / MinRecordBytes + 1, NoItem));
    m_catalog.m_items.reserve(items);
    m_parents.reserve(items);
    m_catalog.m_names.reserve(std::size_t(std::min<qint64>(fileBytes, NoItem)));
}

QString TCatalogBuilder::Add(const TCatalogRecord& record)
{
    const std::string_view path = record.Path;
    if (path.size() > MaxPathBytes)
        return QStringLiteral("a path longer than %1 bytes").arg(MaxPathBytes);
    if (hasOddName(path))
        return QStringLiteral("a path with an empty name, \".\" or \"..\" in it");
    const std::string_view body = record.IsFolder ? path.substr(0, path.size() - 1) : path;
    // The location is the path without its last Depth components.
    std::size_t end = body.size();
    for (int level = 0; level < record.Depth; ++level) {
        if (end == 0)
            return QStringLiteral("\"depth\" %1 is deeper than the path").arg(record.Depth);
        end = body.rfind(char(PathDelimiter), end - 1);
    }
    const std::size_t locationLength = end + 1;
    if (record.Depth == 0) {
        if (!record.IsFolder)
            return QStringLiteral("a listed location that is not a folder");
        const std::uint32_t folder = folderAt(path, locationLength);
        // A location inside another one of the same listing is a folder of both.
        if (std::find(m_catalog.m_locationFolders.begin(), m_catalog.m_locationFolders.end(),
                      folder) == m_catalog.m_locationFolders.end())
            addLocation(path, folder);
        setFacts(folder, record);
        return {};
    }
    const std::size_t slash = body.rfind(char(PathDelimiter));
    const std::string_view name = body.substr(slash + 1);
    if (name.size() > MaxNameBytes)
        return QStringLiteral("a name longer than %1 bytes").arg(MaxNameBytes);
    if (record.IsFolder) {
        setFacts(folderAt(path, locationLength), record);
    } else {
        const std::uint32_t parent = folderAt(body.substr(0, slash + 1), locationLength);
        setFacts(newItem(name, parent, false), record);
    }
    if (m_catalog.m_items.size() >= NoItem || m_catalog.m_names.size() >= NoItem)
        return QStringLiteral("more items than a catalogue holds");
    return {};
}

std::string_view TCatalogBuilder::nameOf(std::uint32_t item) const
{
    const TCatalog::TItem& entry = m_catalog.m_items[item];
    return std::string_view(m_catalog.m_names).substr(entry.NameStart, entry.NameLength);
}

std::uint32_t* TCatalogBuilder::folderSlot(std::uint32_t parent, std::string_view name)
{
    const std::size_t mask = m_folderTable.size() - 1;
    std::size_t slot =
        (std::hash<std::string_view>()(name) ^ (std::size_t(parent) * 0x9E3779B97F4A7C15ULL)) &
        mask;
    for (;; slot = (slot + 1) & mask) {
        const std::uint32_t folder = m_folderTable[slot];
        if (folder == NoItem || (m_parents[folder] == parent && nameOf(folder) == name))
            return &m_folderTable[slot];
    }
}

// Kept at most half full, so a search ends soon at an empty slot.
std::uint32_t TCatalogBuilder::addFolder(std::uint32_t folder)
{
    if (2 * (m_folderCount + 1) > m_folderTable.size()) {
        std::vector<std::uint32_t> old(std::max<std::size_t>(1024, 2 * m_folderTable.size()),
                                       NoItem);
        std::swap(old, m_folderTable);
        for (const std::uint32_t known : old) {
            if (known != NoItem)
                *folderSlot(m_parents[known], nameOf(known)) = known;
        }
    }
    *folderSlot(m_parents[folder], nameOf(folder)) = folder;
    ++m_folderCount;
    return folder;
}

// The subfolder name of parent; NoItem when no record has named it yet.
std::uint32_t TCatalogBuilder::knownChild(std::uint32_t parent, std::string_view name)
{
    return m_folderTable.empty() ? NoItem : *folderSlot(parent, name);
}

// The folder at path (ending in the delimiter), made with the folders above it down from the
// location (its first locationLength bytes) when no record has named them yet. A path below
// several locations (one inside another) is found from the deepest of them; a location the
// records of another one have not reached becomes a folder of its own.
std::uint32_t TCatalogBuilder::folderAt(std::string_view path, std::size_t locationLength)
{
    if (path == m_lastFolder)
        return m_lastFolderItem;
    std::size_t known = 0;
    std::uint32_t folder = NoItem;
    for (const auto& [location, item] : m_locationPaths) {
        if (location.size() > known && path.starts_with(location)) {
            known = location.size();
            folder = item;
        }
    }
    while (folder != NoItem && known < locationLength) {
        const std::size_t next = path.find(char(PathDelimiter), known) + 1;
        folder = knownChild(folder, path.substr(known, next - known - 1));
        known = next;
    }
    if (folder == NoItem) {
        known = locationLength; // the location itself, named by its whole path
        folder = newItem(path.substr(0, known), NoItem, true);
        addLocation(path.substr(0, known), folder);
    }
    while (known < path.size()) {
        const std::size_t next = path.find(char(PathDelimiter), known) + 1;
        const std::string_view name = path.substr(known, next - known - 1);
        const std::uint32_t child = knownChild(folder, name);
        folder = child != NoItem ? child : addFolder(newItem(name, folder, true));
        known = next;
    }
    m_lastFolder.assign(path);
    m_lastFolderItem = folder;
    return folder;
}

void TCatalogBuilder::addLocation(std::string_view path, std::uint32_t folder)
{
    m_catalog.m_locations.append(DecodeFileName(path.data(), qsizetype(path.size())));
    m_catalog.m_locationFolders.push_back(folder);
    m_locationPaths.emplace_back(path, folder);
}

std::uint32_t TCatalogBuilder::newItem(std::string_view name, std::uint32_t parent, bool folder)
{
    TCatalog::TItem item;
    item.NameStart = std::uint32_t(m_catalog.m_names.size());
    item.NameLength = std::uint16_t(name.size());
    item.Flags = folder ? IsFolderFlag : 0;
    m_catalog.m_names.append(name);
    m_catalog.m_items.push_back(item);
    m_parents.push_back(parent);
    return std::uint32_t(m_catalog.m_items.size() - 1);
}

// A folder listed twice (a location inside another one of the same listing) keeps its first
// record.
void TCatalogBuilder::setFacts(std::uint32_t index, const TCatalogRecord& record)
{
    TCatalog::TItem& item = m_catalog.m_items[index];
    if ((item.Flags & RecordedFlag) != 0)
        return;
    item.Flags |= RecordedFlag | (record.HasFacts ? HasFactsFlag : 0);
    item.Type = record.Type;
    item.Size = record.Size;
    item.Modified = record.Modified;
}

// Each folder's children in file order, one array for all (counted, then placed).
QString TCatalogBuilder::Finish()
{
    const std::vector<TCatalog::TItem>& items = m_catalog.m_items;
    if (items.empty())
        return QStringLiteral("no records: not a saved listing");
    m_folderTable = {};
    std::vector<std::uint32_t>& folders = m_catalog.m_folders;
    for (std::uint32_t index = 0; index < items.size(); ++index) {
        if ((items[index].Flags & IsFolderFlag) != 0)
            folders.push_back(index);
    }
    folders.shrink_to_fit();
    // Items come a folder at a time: the last parent's number is mostly the one asked again.
    std::uint32_t lastParent = NoItem;
    std::size_t lastOrdinal = 0;
    const auto ordinalOf = [&](std::uint32_t parent) {
        if (parent != lastParent) {
            lastParent = parent;
            lastOrdinal = std::size_t(std::lower_bound(folders.begin(), folders.end(), parent) -
                                      folders.begin());
        }
        return lastOrdinal;
    };
    std::vector<std::uint32_t>& starts = m_catalog.m_childStarts;
    starts.assign(folders.size() + 1, 0);
    for (const std::uint32_t parent : m_parents) {
        if (parent != NoItem)
            ++starts[ordinalOf(parent) + 1];
    }
    for (std::size_t k = 1; k < starts.size(); ++k)
        starts[k] += starts[k - 1];
    std::vector<std::uint32_t> placed(starts.begin(), starts.end() - 1);
    m_catalog.m_children.resize(starts.back());
    for (std::uint32_t index = 0; index < m_parents.size(); ++index) {
        if (const std::uint32_t parent = m_parents[index]; parent != NoItem)
            m_catalog.m_children[placed[ordinalOf(parent)]++] = index;
    }
    return {};
}

std::shared_ptr<const TCatalog> TCatalog::Load(const QString& fileName, QString& problem)
{
    const QString shown = ShownText(fileName);
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = shown + u": " + file.errorString();
        return nullptr;
    }
    auto catalog = std::make_shared<TCatalog>();
    catalog->m_fileName = fileName;
    catalog->m_savedAt = QFileInfo(fileName).lastModified();
    catalog->m_device = nextCatalogDevice();
    TCatalogBuilder builder(*catalog);
    builder.Reserve(file.size());
    TCatalogRecord record;
    QByteArray pending;       // a record begun in the last piece read
    qsizetype lineNumber = 1; // of the record being read
    std::optional<bool> csv;  // known from the first line
    const auto fail = [&](const QString& why) {
        problem = shown + QStringLiteral(", line %1: ").arg(lineNumber) + why;
        return nullptr;
    };
    for (bool atEnd = false; !atEnd;) {
        const QByteArray piece = file.read(ReadBytes);
        if (piece.isEmpty() && file.error() != QFileDevice::NoError)
            return fail(file.errorString());
        atEnd = piece.isEmpty();
        pending.append(piece);
        qsizetype from = 0;
        for (;;) {
            // The first line is the head of a CSV file or a JSON record: no quotes span it.
            qsizetype lineBreaks = 0;
            const bool csvRows = csv.value_or(false);
            qsizetype end =
                csvRows ? CsvRowEnd(pending, from, lineBreaks) : pending.indexOf('\n', from);
            if (end < 0) {
                if (!atEnd || from >= pending.size())
                    break;
                end = pending.size(); // the last record, without a line break after it
            }
            const QByteArrayView line(pending.constData() + from, end - from);
            from = end + 1;
            if (!csv) {
                csv = IsCatalogCsvHead(line);
                if (*csv) {
                    ++lineNumber;
                    continue;
                }
            }
            if (!line.trimmed().isEmpty()) {
                QString why =
                    *csv ? ParseCatalogCsvRow(line, record) : ParseCatalogRecord(line, record);
                if (why.isEmpty())
                    why = builder.Add(record);
                if (!why.isEmpty())
                    return fail(why);
            }
            lineNumber += lineBreaks + 1;
        }
        pending.remove(0, std::min(from, pending.size()));
    }
    if (QString why = builder.Finish(); !why.isEmpty()) {
        problem = shown + u": " + why;
        return nullptr;
    }
    return catalog;
}

std::optional<std::uint32_t> TCatalog::LocationFolder(QStringView location) const
{
    const qsizetype index = m_locations.indexOf(location);
    if (index < 0)
        return std::nullopt;
    return m_locationFolders[std::size_t(index)];
}

TEntryFacts TCatalog::entryFacts(const TItem& item) const
{
    TEntryFacts facts;
    facts.IsLink = item.Type == TRecordType::Link;
    facts.LookedAt = (item.Flags & HasFactsFlag) != 0;
    facts.Kind = (item.Flags & IsFolderFlag) != 0    ? TEntryKind::Folder
                 : item.Type == TRecordType::Special ? TEntryKind::Special
                                                     : TEntryKind::File;
    facts.Size = item.Size;
    facts.Modified = item.Modified;
    return facts;
}

TFolderContent TCatalog::Content(std::uint32_t folder) const
{
    const std::span<const std::uint32_t> children = childrenOf(folder);
    std::size_t nameBytes = 0;
    for (const std::uint32_t child : children)
        nameBytes += m_items[child].NameLength;
    TEntryBlock block(children.size(), nameBytes);
    TFolderContent content;
    content.Facts.reserve(children.size());
    content.SizesKnown = true;
    for (const std::uint32_t child : children) {
        const TItem& item = m_items[child];
        block.Add(m_names.data() + item.NameStart, item.NameLength, child,
                  typeHint(item.Type, (item.Flags & IsFolderFlag) != 0));
        content.Facts.push_back(entryFacts(item));
    }
    content.Folder = block.Reader({m_device, folder});
    return content;
}

std::span<const std::uint32_t> TCatalog::childrenOf(std::uint32_t folder) const
{
    const auto found = std::lower_bound(m_folders.begin(), m_folders.end(), folder);
    if (found == m_folders.end() || *found != folder)
        return {};
    const std::size_t ordinal = std::size_t(found - m_folders.begin());
    return std::span(m_children)
        .subspan(m_childStarts[ordinal], m_childStarts[ordinal + 1] - m_childStarts[ordinal]);
}

TItemFacts TCatalog::Facts(std::uint32_t index) const
{
    const TItem& item = m_items[index];
    TItemFacts facts;
    facts.Type = item.Type;
    if ((item.Flags & HasFactsFlag) == 0) {
        facts.State = TFactsState::Unreadable;
        return facts;
    }
    facts.State = TFactsState::Found;
    facts.Size = item.Size;
    facts.Modified = item.Modified;
    return facts;
}

QString CatalogFileOf(const QString& location)
{
    QString path = location;
    if (path.size() > 1 && path.endsWith(PathDelimiter))
        path.chop(1);
    struct stat st {};
    if (path.isEmpty() || ::stat(EncodeFileName(path).constData(), &st) != 0 ||
        !S_ISREG(st.st_mode))
        return {};
    return path;
}

bool IsSavedListingFile(QStringView path)
{
    if (path.endsWith(u".jsonl", Qt::CaseInsensitive) ||
        path.endsWith(u".json", Qt::CaseInsensitive))
        return true;
    // A spreadsheet's CSV is a file like any other; only the records --csv writes are a listing.
    if (!path.endsWith(u".csv", Qt::CaseInsensitive))
        return false;
    QFile file(path.toString());
    return file.open(QIODevice::ReadOnly) && IsCatalogCsvHead(file.readLine(256).trimmed());
}

QString CatalogLineText(const TCatalog& catalog)
{
    const QLocale locale;
    return u":: Catalog: " + ShownText(catalog.FileName()) + u"; Saved: " +
           locale.toString(catalog.SavedAt(), QLocale::ShortFormat) + u"; Items: " +
           QString::number(catalog.ItemCount());
}

} // namespace dirka
