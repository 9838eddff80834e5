// The folder walker alone: lists a tree into an in-memory result with paths recorded, no output.
//   bench_walker TREE [PRESET]
#include "core/listing/folder_walker.h"
#include "core/listing/result_line_store.h"
#include "core/listing/result_text.h"
#include "core/text/text_utils.h"

#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>

using namespace dirka;

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_walker TREE [PRESET]\n");
        return 2;
    }
    QString location = QString::fromLocal8Bit(argv[1]);
    if (!location.endsWith(QChar(PathDelimiter)))
        location += QChar(PathDelimiter);
    TSettings settings;
    settings.Style.Preset = argc > 2 ? std::atoi(argv[2]) : 6;
    settings.Style = ApplyPreset(settings.Style);

    TResultText result;
    QElapsedTimer timer;
    timer.start();
    TWalkReporter silent;
    TWalkState state;
    ListLocation(settings, location, result, silent, state);
    const qint64 walkMs = timer.elapsed();

    timer.restart();
    qsizetype units = 0;
    for (qsizetype i = 0; i < result.LineCount(); ++i)
        units += result.PathOf(i).size();
    const qint64 readMs = timer.elapsed();

    const TRunCounters& c = state.Counters;
    std::printf("lines %lld, files %d, folders %d, text %lld units (%.1f per line)\n",
                static_cast<long long>(result.LineCount()), c.FileCount, c.FolderCount,
                static_cast<long long>(result.Size()),
                double(result.Size()) / double(std::max<qsizetype>(1, result.LineCount())));
    std::printf("walk %lld ms; TabGet over all lines %lld ms (%.1f M lines/s, %lld path units)\n",
                static_cast<long long>(walkMs), static_cast<long long>(readMs),
                double(result.LineCount()) / 1000.0 / double(std::max<qint64>(1, readMs)),
                static_cast<long long>(units));
    return 0;
}
