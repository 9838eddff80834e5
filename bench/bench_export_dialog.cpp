// The HTML export dialog on a large result: the build at opening with its progress window, the
// source view, the written file and the preview, and how long the window goes without handling
// events meanwhile. For comparison, the same page through Qt's own HTML parser in one call.
//   QT_QPA_PLATFORM=offscreen build/bench/bench_export_dialog [LINES]
#include "core/listing/result_line_store.h"
#include "core/listing/result_text.h"
#include "core/system/program_info.h"
#include "gui/export/export_dialog.h"
#include "gui/export/progress_dialog.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include <sys/resource.h>

using namespace dirka;

namespace {

QString randomWord(std::mt19937& random, int minLength, int maxLength)
{
    static const char16_t letters[] = u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                      u"0123456789_- .&ąęłóśżźćń";
    const int length = std::uniform_int_distribution<int>(minLength, maxLength)(random);
    QString word(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        word[i] = QChar(letters[random() % (std::size(letters) - 1)]);
    return word;
}

// A listing of one location as the tree styles write it: each folder's path on its own line,
// its files indented with their sizes, a summary line without an item, and an empty line.
void fillResult(TResultText& result, qsizetype count, const QString& location)
{
    std::mt19937 random(20241207);
    static const char16_t* extensions[] = {u".jpg", u".txt", u".mp3", u".pdf", u".flac"};
    std::vector<QString> stack{location};
    result.BeginUpdate();
    result.AppendItemLine(QString(u":: " + location), {location, QStringView()});
    while (result.LineCount() < count) {
        if (stack.size() > 6 || (stack.size() > 2 && random() % 100 < 40))
            stack.pop_back();
        stack.push_back(stack.back() + randomWord(random, 6, 20) + u'/');
        const QString& folder = stack.back();
        result.AppendItemLine(folder, {folder, QStringView(), &NotLookedAtFacts});
        const int files = 1 + int(random() % 40);
        for (int f = 0; f < files; ++f) {
            const QString name =
                randomWord(random, 4, 30) + QString::fromUtf16(extensions[random() % 5]);
            result.AppendItemLine(
                QString(u"    " + name + u'\t' + QString::number(random() % 100000000)),
                {folder, name, &NotLookedAtFacts});
        }
        result.AppendLine(QStringLiteral("    Files: %1").arg(files));
        result.AppendLine(QString());
    }
    result.TruncateLines(count);
    result.EndUpdate();
}

long peakKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/statm"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = status.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLong() * 4 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const qsizetype count = argc > 1 ? QByteArray(argv[1]).toLongLong() : 100000;
    CollectInfo();
    QTemporaryDir dir;
    const QString location = dir.path() + u"/Archive/";
    TResultText result;
    fillResult(result, count, location);
    std::printf("%lld result lines, %.1f M units of text; resident %ld KiB before the dialog\n",
                static_cast<long long>(result.LineCount()), result.Size() / 1e6, residentKiB());

    THtmlExportDialog dialog(TExportDialogHooks{
        [](QWidget*, const QString& text) { std::printf("error: %s\n", qPrintable(text)); },
        {},
        {}});
    const QString page = dir.filePath(QStringLiteral("list.html"));

    // The longest stretch without an event-loop turn: a zero timer fires at every turn.
    QElapsedTimer clock;
    qint64 lastTurn = 0;
    qint64 longestGap = 0;
    QTimer turns;
    turns.setInterval(0);
    QObject::connect(&turns, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longestGap = std::max(longestGap, now - lastTurn);
        lastTurn = now;
    });
    // Where the bar crosses from one pass to the next (10 % build, 40 % source, then preview).
    std::vector<qint64> crossings;
    const auto* bar = dialog.findChild<TProgressDialog*>()->ProgressBar();
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
        const qint64 limit = qint64(bar->maximum()) * (crossings.empty() ? 10 : 40) / 100;
        if (crossings.size() < 2 && value >= limit && bar->maximum() > 0)
            crossings.push_back(clock.nsecsElapsed());
    });

    QEventLoop waiting;
    bool written = false;
    QObject::connect(&dialog, &THtmlExportDialog::Generated, [&](bool ok) {
        written = ok;
        waiting.quit();
    });
    clock.start();
    turns.start();
    dialog.Prepare(page, result, location);
    dialog.show();
    waiting.exec();
    if (!written) {
        std::printf("not written\n");
        return 1;
    }
    const qint64 total = clock.nsecsElapsed();
    turns.stop();
    const auto ms = [](qint64 ns) { return double(ns) / 1e6; };
    std::printf("page %.1f MB; opening to written and shown: %.0f ms\n",
                QFileInfo(page).size() / 1e6, ms(total));
    if (crossings.size() == 2)
        std::printf("  build %.0f ms, source view %.0f ms, write + preview %.0f ms\n",
                    ms(crossings[0]), ms(crossings[1] - crossings[0]), ms(total - crossings[1]));
    std::printf("  longest time without handling events: %.0f ms\n", ms(longestGap));
    std::printf("  preview: %d blocks; source view: %d blocks\n",
                dialog.findChild<QTextBrowser*>()->document()->blockCount(),
                dialog.findChild<QPlainTextEdit*>()->document()->blockCount());
    std::printf("  resident with the dialog open %ld KiB, peak %ld KiB\n", residentKiB(),
                peakKiB());
    dialog.hide();
    app.processEvents();
    std::printf("  resident after closing %ld KiB\n", residentKiB());

    // A second opening reuses what the first gave back.
    clock.restart();
    dialog.Prepare(page, result, location);
    dialog.show();
    waiting.exec();
    std::printf("second opening: %.0f ms; resident %ld KiB, peak %ld KiB\n",
                ms(clock.nsecsElapsed()), residentKiB(), peakKiB());
    dialog.hide();

    // The same file through Qt's parser, as a plain QTextBrowser loads it.
    if (argc > 2 && QByteArray(argv[2]) == "--with-parser") {
        QTextBrowser plain;
        plain.resize(600, 500);
        plain.show();
        app.processEvents();
        QElapsedTimer timer;
        timer.start();
        plain.setSource(QUrl::fromLocalFile(page));
        std::printf("Qt's parser, one call without events: %.0f ms; peak %ld KiB\n",
                    ms(timer.nsecsElapsed()), peakKiB());
    }
    return 0;
}
