#include "core/listing/result_line_store.h"

#include "core/text/assertion.h"
#include "core/text/text_utils.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

namespace dirka {

namespace {

constexpr qsizetype InitialCapacity = 256;
constexpr int CacheSize = 16;
// PrefixLength is 16-bit; Linux paths can be longer, so a longer shared beginning is cut here
// and the rest of it goes into the entry's own text.
constexpr qsizetype MaxPrefixLength = 65535;

// Entries live in pages and texts in blocks, both allocated as they fill: a million lines never
// copy a big array on growth (which would briefly need the old and the new one), the capacity
// doubles without memory behind it, and the slack is at most one page and one block.
constexpr int PageBits = 14;
constexpr qsizetype PageSize = qsizetype(1) << PageBits;
constexpr std::size_t BlockUnits = std::size_t(1) << 20;
constexpr std::size_t MaxBlocks = std::size_t(1) << 20;

// One entry per result line, 16 bytes. Its own text is Length characters at Position in text
// block Block; standard blocks hold BlockUnits, a longer text gets a block of its own at
// Position 0. A text whose characters all lie below U+0100 (most file names) is stored Narrow,
// one byte a character, two to a block unit.
struct TTab {
    std::uint64_t Block : 20 = 0;
    std::uint64_t Position : 28 = 0;
    std::uint64_t PrefixLength : 16 = 0;
    std::uint32_t Length : 31 = 0;
    std::uint32_t Narrow : 1 = 0;
    std::int32_t Link = -1;
};
constexpr qsizetype MaxTextLength = (qsizetype(1) << 31) - 1;
static_assert(sizeof(TTab) == 16);

struct TBlock {
    std::unique_ptr<char16_t[]> units;
    std::size_t capacity = 0;
    std::size_t size = 0;
};

struct TCache {
    QString Text;
    int Index = -1;
};

} // namespace

struct detail::TLineStoreData {
    qsizetype capacity = InitialCapacity;
    // pages.size() covers the capacity; a null page holds only empty entries.
    std::vector<std::unique_ptr<TTab[]>> pages = std::vector<std::unique_ptr<TTab[]>>(1);
    // Entries at and beyond used are all empty.
    int used = 0;
    // Texts are stored in index order: a later line never has its text before an earlier one,
    // so forgetting lines from some index on cuts the text back to that line's text. Blocks
    // after current are spare (at most one).
    std::vector<TBlock> blocks;
    int current = -1;
    int lastIndex = -1;
    QString lastPath;
    std::array<TCache, CacheSize> cache;
    int cursor = 0;
    std::vector<int> chain; // reused by TabGet
    QString work;           // reused by TabGet for paths that are not cached
};

namespace {

using TStore = detail::TLineStoreData;

TTab* entryAt(TStore& s, qsizetype index)
{
    TTab* page = s.pages[std::size_t(index >> PageBits)].get();
    return page ? page + (index & (PageSize - 1)) : nullptr;
}

TTab& recordedEntry(TStore& s, int index)
{
    TTab* t = entryAt(s, index);
    Assert(t != nullptr);
    return *t;
}

// The block units a text of length characters takes.
std::size_t storedUnits(std::size_t length, bool narrow)
{
    return narrow ? (length + 1) / 2 : length;
}

bool fitsNarrow(QStringView text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x100; });
}

// Writes t's own text, widened where it is stored narrow, to out.
void copyText(const TStore& s, const TTab& t, QChar* out)
{
    if (t.Length == 0)
        return;
    const char16_t* units = s.blocks[t.Block].units.get() + t.Position;
    if (!t.Narrow) {
        std::copy_n(units, t.Length, reinterpret_cast<char16_t*>(out));
        return;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(units);
    std::transform(bytes, bytes + t.Length, reinterpret_cast<char16_t*>(out),
                   [](unsigned char b) { return char16_t(b); });
}

QString textOf(const TStore& s, const TTab& t)
{
    QString text(qsizetype(t.Length), Qt::Uninitialized);
    copyText(s, t, text.data());
    return text;
}

// Stores head + tail as t's own text at out, narrow when t says so.
void putText(char16_t* out, QStringView head, QStringView tail, bool narrow)
{
    if (!narrow) {
        std::copy_n(head.utf16(), head.size(), out);
        std::copy_n(tail.utf16(), tail.size(), out + head.size());
        return;
    }
    auto* bytes = reinterpret_cast<unsigned char*>(out);
    const auto narrowed = [](char16_t c) { return static_cast<unsigned char>(c); };
    bytes = std::transform(head.utf16(), head.utf16() + head.size(), bytes, narrowed);
    std::transform(tail.utf16(), tail.utf16() + tail.size(), bytes, narrowed);
}

// Room for count units at the end of the text, recorded in t.
char16_t* takeText(TStore& s, std::size_t count, TTab& t)
{
    if (s.current < 0 ||
        s.blocks[std::size_t(s.current)].size + count > s.blocks[std::size_t(s.current)].capacity) {
        const std::size_t next = std::size_t(s.current + 1);
        if (next < s.blocks.size() && s.blocks[next].capacity >= count) {
            s.blocks[next].size = 0;
        } else {
            Assert(next < MaxBlocks);
            s.blocks.resize(next);
            TBlock block;
            block.capacity = std::max(count, BlockUnits);
            block.units = std::make_unique_for_overwrite<char16_t[]>(block.capacity);
            s.blocks.push_back(std::move(block));
        }
        s.current = int(next);
    }
    TBlock& block = s.blocks[std::size_t(s.current)];
    t.Block = std::uint64_t(s.current);
    t.Position = block.size;
    block.size += count;
    return block.units.get() + t.Position;
}

// Cuts the text back to where t's text began. The next block stays as a spare when this one is
// more than half full, so that rollbacks near a block's end do not allocate each time.
void cutTextAt(TStore& s, const TTab& t)
{
    const std::size_t b = t.Block;
    s.blocks[b].size = t.Position;
    s.current = int(b);
    std::size_t keep = b + 1;
    if (keep < s.blocks.size() && s.blocks[keep].capacity == BlockUnits &&
        s.blocks[b].size > s.blocks[b].capacity / 2)
        ++keep;
    s.blocks.resize(keep);
}

int findCached(const TStore& s, int index)
{
    for (int k = 0; k < CacheSize; ++k) {
        const int slot = (s.cursor - k + CacheSize) % CacheSize;
        if (s.cache[std::size_t(slot)].Index == index)
            return slot;
    }
    return -1;
}

void dropCachedFrom(TStore& s, int fromIndex)
{
    for (TCache& c : s.cache) {
        if (c.Index >= fromIndex) {
            c.Index = -1;
            c.Text = QString();
        }
    }
}

// target := the first n units of prefix + t's own text. When target itself holds the prefix it
// is cut and extended in place; otherwise its buffer is reused unless a caller still shares it.
void writeJoined(QString& target, const QChar* prefix, qsizetype n, const TStore& s, const TTab& t,
                 bool prefixInTarget)
{
    const qsizetype m = qsizetype(t.Length);
    if (prefixInTarget) {
        target.resize(n + m); // keeps the first n units, also when it detaches
    } else {
        if (!target.isDetached())
            target = QString();
        target.resize(n + m);
        std::copy_n(prefix, n, target.data());
    }
    copyText(s, t, target.data() + n);
}

void clearFrom(TStore& s, int fromIndex, bool alsoCache)
{
    Assert(fromIndex >= 0);
    const bool forgetsEntries = fromIndex < s.used;
    if (forgetsEntries) {
        // Only the used range is touched: rollbacks of empty folders call this very often.
        for (qsizetype i = fromIndex; i < s.used; ++i) {
            const TTab* t = entryAt(s, i);
            if (t && t->Length > 0) {
                cutTextAt(s, *t);
                break;
            }
        }
        // Pages beyond the next one are given back; the next one stays for the rollbacks.
        const qsizetype keptPages = (fromIndex >> PageBits) + 2;
        const qsizetype usedPages = ((s.used - 1) >> PageBits) + 1;
        for (qsizetype p = keptPages; p < usedPages; ++p)
            s.pages[std::size_t(p)].reset();
        const qsizetype clearEnd = std::min<qsizetype>(s.used, keptPages << PageBits);
        for (qsizetype i = fromIndex; i < clearEnd; ++i) {
            if (TTab* t = entryAt(s, i))
                *t = TTab();
        }
        s.used = fromIndex;
    }
    s.lastIndex = -1;
    s.lastPath.truncate(0);
    // A cached path of a forgotten entry must go even without alsoCache: the index may be
    // recorded again with another path.
    if (alsoCache || forgetsEntries)
        dropCachedFrom(s, fromIndex);
}

void grow(TStore& s, int index)
{
    const qsizetype oldCapacity = s.capacity;
    qsizetype capacity = oldCapacity;
    while (index >= capacity)
        capacity = std::max(2 * capacity, InitialCapacity);
    s.pages.resize(std::size_t((capacity + PageSize - 1) >> PageBits));
    s.capacity = capacity;
    // Front-coding restarts after growth: the entry being added is stored whole.
    clearFrom(s, int(oldCapacity), false);
}

} // namespace

TResultLineStore::TResultLineStore() : m_data(std::make_unique<detail::TLineStoreData>()) {}
TResultLineStore::~TResultLineStore() = default;
TResultLineStore::TResultLineStore(TResultLineStore&&) noexcept = default;
TResultLineStore& TResultLineStore::operator=(TResultLineStore&&) noexcept = default;

void TResultLineStore::TabAdd(int index, QStringView name, QStringView folderPath)
{
    Assert(index >= 0);
    TStore& s = *m_data;
    if (index >= s.capacity)
        grow(s, index);
    // Recording a line again (lines were taken out without telling the store) replaces it and
    // everything after it; front-coding against itself would otherwise loop.
    if (index < s.used)
        clearFrom(s, index, true);

    const qsizetype total = folderPath.size() + name.size();
    Assert(total <= MaxTextLength);

    // Units shared with the last path, compared piecewise so that no joined path is built.
    qsizetype common = 0;
    if (s.lastIndex >= 0) {
        const QStringView last = s.lastPath;
        common = CommonPrefixLength(folderPath, last, std::min(folderPath.size(), last.size()));
        if (common == folderPath.size()) {
            const QStringView rest = last.sliced(common);
            common += CommonPrefixLength(name, rest, std::min(name.size(), rest.size()));
        }
    }
    const qsizetype n = std::min(common, MaxPrefixLength);

    // The entry is built aside and stored last, so that a failed allocation leaves the store
    // as it was.
    std::unique_ptr<TTab[]>& page = s.pages[std::size_t(index >> PageBits)];
    if (!page)
        page = std::make_unique<TTab[]>(std::size_t(PageSize));
    TTab t;
    t.Length = std::uint32_t(total - n);
    t.PrefixLength = std::uint64_t(n);
    if (t.Length > 0) {
        const bool inFolder = n < folderPath.size();
        const QStringView head = inFolder ? folderPath.sliced(n) : QStringView();
        const QStringView tail = inFolder ? name : name.sliced(n - folderPath.size());
        t.Narrow = fitsNarrow(head) && fitsNarrow(tail);
        char16_t* text = takeText(s, storedUnits(t.Length, t.Narrow), t);
        putText(text, head, tail, t.Narrow);
    }
    if (n == 0) {
        t.Link = -1;
    } else {
        // Glue to the nearest earlier entry that still spells out unit n itself.
        int link = s.lastIndex;
        while (qsizetype(recordedEntry(s, link).PrefixLength) >= n)
            link = recordedEntry(s, link).Link;
        t.Link = link;
    }

    // The last path keeps its buffer: only the part after the shared beginning is rewritten.
    try {
        s.lastPath.truncate(common);
        if (common < folderPath.size()) {
            s.lastPath.append(folderPath.sliced(common));
            s.lastPath.append(name);
        } else {
            s.lastPath.append(name.sliced(common - folderPath.size()));
        }
    } catch (...) {
        s.lastIndex = -1; // the last path is no longer the last entry's
        throw;
    }
    page[std::size_t(index & (PageSize - 1))] = t;
    s.lastIndex = index;
    s.used = index + 1;
}

QString TResultLineStore::TabGet(int index) const
{
    TStore& s = *m_data;
    if (index < 0 || index >= s.used)
        return QString();
    const TTab* entry = entryAt(s, index);
    if (!entry || entry->Length + entry->PrefixLength == 0)
        return QString();
    if (entry->PrefixLength == 0)
        return textOf(s, *entry);

    // Follow the links down to a whole entry or a cached path, then rebuild upwards, caching
    // each path on the way in the order a recursive rebuild would. A chain can be as long as
    // the number of distinct prefix lengths (up to 65535), too deep for recursion.
    s.chain.clear();
    int i = index;
    int baseSlot = -1;
    for (;;) {
        const TTab& t = recordedEntry(s, i);
        if (t.PrefixLength == 0)
            break;
        baseSlot = findCached(s, i);
        if (baseSlot >= 0)
            break;
        s.chain.push_back(i);
        Assert(t.Link >= 0 && t.Link < i);
        i = t.Link;
    }

    const QChar* base = nullptr;
    qsizetype baseLength = 0;
    QString wholeText;
    if (baseSlot < 0) {
        wholeText = textOf(s, recordedEntry(s, i));
        base = wholeText.constData();
        baseLength = wholeText.size();
    } else {
        base = s.cache[std::size_t(baseSlot)].Text.constData();
        baseLength = s.cache[std::size_t(baseSlot)].Text.size();
    }
    // Going up, each path is the one below cut to the entry's prefix length plus its own text.
    // Only the last 16 rebuilt paths stay in the cache, so the earlier ones of a long chain are
    // built in a scratch buffer and their slots merely passed, as a recursive rebuild leaves them.
    const qsizetype steps = qsizetype(s.chain.size());
    const qsizetype uncached = std::max<qsizetype>(0, steps - CacheSize);
    bool baseInWork = false;
    for (qsizetype k = 0; k < steps; ++k) {
        const int entryIndex = s.chain[std::size_t(steps - 1 - k)];
        const TTab& t = recordedEntry(s, entryIndex);
        const qsizetype n = qsizetype(t.PrefixLength);
        Assert(baseLength >= n);
        const int slot = (s.cursor + 1) % CacheSize;
        s.cursor = slot;
        TCache& cached = s.cache[std::size_t(slot)];
        QString& target = k < uncached ? s.work : cached.Text;
        const bool inPlace = k < uncached ? baseInWork : slot == baseSlot;
        if (k >= uncached)
            cached.Index = -1; // until the slot holds the new path
        writeJoined(target, base, n, s, t, inPlace);
        if (k >= uncached)
            cached.Index = entryIndex;
        base = target.constData();
        baseLength = target.size();
        baseInWork = k < uncached;
        baseSlot = k < uncached ? -1 : slot;
    }
    return s.cache[std::size_t(baseSlot)].Text;
}

void TResultLineStore::TabClear(int fromIndex, bool alsoCache)
{
    clearFrom(*m_data, fromIndex, alsoCache);
}

void TResultLineStore::TabResetCache() const
{
    TStore& s = *m_data;
    for (TCache& c : s.cache) {
        c.Index = -1;
        c.Text = QString();
    }
    s.cursor = 0;
}

void TResultLineStore::TabReset()
{
    *m_data = TStore();
}

int TResultLineStore::TabCapacity() const
{
    return int(std::min<qsizetype>(m_data->capacity, std::numeric_limits<int>::max()));
}

TTabView TResultLineStore::TabEntry(int index) const
{
    TStore& s = *m_data;
    TTabView view;
    if (index < 0 || index >= s.capacity)
        return view;
    if (const TTab* t = entryAt(s, index)) {
        view.Text = textOf(s, *t);
        view.Link = t->Link;
        view.PrefixLength = int(t->PrefixLength);
    }
    return view;
}

TTabMemory TResultLineStore::TabMemory() const
{
    const TStore& s = *m_data;
    TTabMemory m;
    for (std::size_t b = 0; b < s.blocks.size(); ++b) {
        if (int(b) <= s.current)
            m.TextUnits += qsizetype(s.blocks[b].size);
        m.TextReserved += qsizetype(s.blocks[b].capacity);
    }
    m.UsedEntries = s.used;
    m.Capacity = TabCapacity();
    for (const auto& page : s.pages)
        m.AllocatedEntries += page ? int(PageSize) : 0;
    m.EntryBytes = int(sizeof(TTab));
    return m;
}

} // namespace dirka
