// The settings file parser on arbitrary bytes: whatever it reads must survive a save and a
// second read unchanged, every value must be found again by its name, and no name may be held
// twice. bench/fuzz.sh runs it with a per-input time limit, so a parse that turns quadratic on
// a long file (many removals, a hex value continued over many lines) counts as a finding; since
// mutation alone seldom builds such files, an input can ask for one (see longFile).

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

void checkLookups(const TSettingsKey& key, const TSettingsKey& untouched)
{
    const QList<TSettingsKey::TNamedValue>& values = key.Values();
    QSet<QString> folded;
    for (const TSettingsKey::TNamedValue& entry : values) {
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

// "; x N" as the first line (one the parser skips) asks for a second, long file made from the
// rest: each line N times over, the first quoted name numbered, so "v"=dword:1 and "v"=- give N
// values and then N removals; section lines are kept once.
QByteArray longFile(const QByteArray& bytes)
{
    const qsizetype end = bytes.indexOf('\n');
    if (!bytes.startsWith("; x ") || end < 0)
        return {};
    bool ok = false;
    const int times = bytes.mid(4, end - 4).trimmed().toInt(&ok);
    if (!ok || times < 1 || times > 50000)
        return {};
    QByteArray out;
    for (const QByteArray& line : bytes.mid(end + 1).split('\n')) {
        const qsizetype nameEnd = line.startsWith('"') ? line.indexOf('"', 1) : -1;
        for (int k = 0; k < (line.startsWith('[') ? 1 : times) && out.size() < 400000; ++k) {
            if (nameEnd > 0)
                out +=
                    line.first(nameEnd) + '#' + QByteArray::number(k) + line.sliced(nameEnd) + '\n';
            else
                out += line + '\n';
        }
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const QByteArray longer = longFile(bytes); !longer.isEmpty())
        (void)FormatRegistryText(ParseRegistryText(longer, false));
    TSettingsKey key = ParseRegistryText(bytes, true);
    // A copy taken before Values() first runs, which compacts removals: lookups must agree.
    const TSettingsKey untouched = key;
    checkLookups(key, untouched);

    // Any text the program writes must come back: the input's bytes as UTF-16 units give lone
    // surrogates, controls and line breaks.
    const QString raw(reinterpret_cast<const QChar*>(data), qsizetype(size / 2));
    RegWriteText(&key, u"Fuzz.Raw", raw);

    const QByteArray saved = FormatRegistryText(key);
    const TSettingsKey reread = ParseRegistryText(saved, false);
    const QList<TSettingsKey::TNamedValue>& before = key.Values();
    const QList<TSettingsKey::TNamedValue>& after = reread.Values();
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
