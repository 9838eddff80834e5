// The settings file parser on arbitrary bytes: whatever it reads must survive a save and a
// second read unchanged, every value must be found again by its name, and no name may be held
// twice. bench/fuzz.sh runs it with a per-input time limit, so a parse that turns quadratic on
// a long file (many removals, a hex value continued over many lines) counts as a finding.

#include "core/settings/settings_store.h"

#include "fuzz_support.h"

#include <QSet>

using namespace dirka;

namespace {

bool sameValue(const TRegValue& a, const TRegValue& b)
{
    if (a.Type != b.Type)
        return false;
    if (a.Type == int(TRegType::Dword))
        return a.Dword == b.Dword;
    if (a.Type == int(TRegType::Text) || a.Type == int(TRegType::ExpandText))
        return a.Text == b.Text;
    return a.Bytes == b.Bytes;
}

void checkLookups(const TRegKey& key, const TRegKey& untouched)
{
    const QList<TRegKey::TNamedValue>& values = key.Values();
    QSet<QString> folded;
    for (const TRegKey::TNamedValue& entry : values) {
        FUZZ_CHECK(!folded.contains(entry.Name.toCaseFolded()));
        folded.insert(entry.Name.toCaseFolded());
        // Found again in another case too: names ignore case ("ß" upper-cases to "SS", which
        // is another name).
        for (const QString& name : {entry.Name, entry.Name.toUpper()}) {
            if (name.toCaseFolded() != entry.Name.toCaseFolded())
                continue;
            const TRegValue* found = key.Value(name);
            const TRegValue* foundBefore = untouched.Value(name);
            FUZZ_CHECK(found && sameValue(*found, entry.Value));
            FUZZ_CHECK(foundBefore && sameValue(*foundBefore, entry.Value));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    TRegKey key = ParseRegistryText(bytes, true);
    // A copy taken before Values() first runs, which compacts removals: lookups must agree.
    const TRegKey untouched = key;
    checkLookups(key, untouched);

    // Any text the program writes must come back: the input's bytes as UTF-16 units give lone
    // surrogates, controls and line breaks.
    const QString raw(reinterpret_cast<const QChar*>(data), qsizetype(size / 2));
    RegWriteText(&key, u"Fuzz.Raw", raw);

    const QByteArray saved = FormatRegistryText(key);
    const TRegKey reread = ParseRegistryText(saved, false);
    const QList<TRegKey::TNamedValue>& before = key.Values();
    const QList<TRegKey::TNamedValue>& after = reread.Values();
    FUZZ_CHECK(before.size() == after.size());
    for (qsizetype i = 0; i < before.size(); ++i) {
        FUZZ_CHECK(before[i].Name == after[i].Name);
        FUZZ_CHECK(sameValue(before[i].Value, after[i].Value));
    }
    QString text;
    FUZZ_CHECK(RegReadText(&reread, u"Fuzz.Raw", text) && text == raw);
    FUZZ_CHECK(FormatRegistryText(reread) == saved);
    return 0;
}
