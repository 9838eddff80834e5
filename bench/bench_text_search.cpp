// Throughput of the result search: PosNoCase and FindTextForward over a 50 MB UTF-16 text.
#include "core/text/find_text.h"
#include "core/text/text_utils.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdint>
#include <cstdio>

using namespace dirka;

namespace {

QString makeText(qsizetype units)
{
    static const char16_t* words[] = {
        u"report",       u"Photo",    u"zdjęcia",    u"Łódź", u"music",
        u"track_01.mp3", u"\\Rock\\", u"φωτογραφία", u"写真", u"Files: 3 (1.25 MB)",
        u"data",         u"\t",       u"<DIR>"};
    QString text;
    text.reserve(units);
    std::uint32_t seed = 12345;
    while (text.size() < units) {
        seed = seed * 134775813u + 1u;
        text += QString::fromUtf16(words[(seed >> 16) % std::size(words)]);
        text += (seed & 7) == 0 ? QStringLiteral("\r\n") : QStringLiteral(" ");
    }
    text.truncate(units);
    return text;
}

template <typename F> void report(const char* what, qsizetype bytes, F&& run)
{
    run(); // warm
    QElapsedTimer timer;
    timer.start();
    const int rounds = 5;
    qsizetype result = 0;
    for (int i = 0; i < rounds; ++i)
        result += run();
    const double seconds = timer.nsecsElapsed() / 1e9 / rounds;
    std::printf("%-58s %8.1f MB/s  (%.1f ms per pass, result %lld)\n", what, bytes / seconds / 1e6,
                seconds * 1e3, static_cast<long long>(result / rounds));
}

} // namespace

int main()
{
    const qsizetype units = 25 * 1000 * 1000; // 50 MB of UTF-16
    const QString text = makeText(units);
    const qsizetype bytes = units * 2;
    const QString absent = QStringLiteral("zebra");
    const QString absentMixed = QStringLiteral("ŻÓŁW");
    const QString frequent = QStringLiteral("MUSIC.");

    report("PosNoCase, absent ASCII pattern", bytes, [&] { return PosNoCase(absent, text, 1); });
    report("PosNoCase, absent non-ASCII pattern", bytes,
           [&] { return PosNoCase(absentMixed, text, 1); });
    report("PosExact, absent pattern", bytes, [&] { return PosExact(absent, text, 1); });
    report("FindTextForward, no case, whole words, absent", bytes,
           [&] { return FindTextForward(absent, text, false, 1, true); });
    report("FindTextForward, no case, whole words, prefix frequent", bytes,
           [&] { return FindTextForward(frequent, text, false, 1, true); });
    report("FindTextBackward, no case, whole words, absent", bytes,
           [&] { return FindTextBackward(absent, text, false, units, true); });
    return 0;
}
