// The result view on a million-line result: showing it when a listing ends, scrolling page by
// page, and the memory the view adds to the result text it paints from.
#include "core/listing/result_text.h"
#include "gui/result_view/result_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

using namespace dirka;

namespace {

constexpr int LineCount = 1000 * 1000;
constexpr int Pages = 200;
constexpr int Passes = 5;

// One word in ten is Polish, Greek, Cyrillic or CJK, as in a real home folder.
QString randomWord(std::mt19937& random, int minLength, int maxLength)
{
    static const std::u16string_view alphabets[] = {
        u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_- .",
        u"aąbcćdeęfghijklłmnńoóprsśtuwyzźżAĄCĆEĘŁŃÓŚŹŻ",
        u"αβγδεζηθικλμνξοπρστυφχψωΑΒΓΔΕΘΛΠΣΦΨΩ",
        u"абвгдежзийклмнопрстуфхцчшщыэюяАБВГДЕЖЗ",
        u"日本語写真音楽文書資料映画旅行家族学校仕事",
    };
    const int pick = int(random() % 40);
    const std::u16string_view letters = alphabets[pick < 36 ? 0 : pick - 35];
    const int length = std::uniform_int_distribution<int>(minLength, maxLength)(random);
    QString word(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        word[i] = QChar(letters[random() % letters.size()]);
    return word;
}

// Full paths 100..175 units long, a tab and the size after most of them, as a listing writes.
void fillResult(TResultText& result)
{
    std::mt19937 random(20240601);
    static const char16_t* extensions[] = {u".jpg", u".txt", u".mp3", u".pdf", u".flac"};
    QString folder;
    while (result.LineCount() < LineCount) {
        if (folder.isEmpty() || random() % 20 == 0) {
            folder = QStringLiteral("/home/someone/Archive/");
            while (folder.size() < 70)
                folder += randomWord(random, 5, 18) + u'/';
        }
        QString line = folder;
        const qsizetype length = std::uniform_int_distribution<qsizetype>(100, 165)(random);
        while (line.size() < length)
            line += randomWord(random, 4, 16) + u' ';
        line.truncate(length);
        line += QString::fromUtf16(extensions[random() % 5]);
        if (random() % 10 != 0)
            line += u'\t' + QString::number(random() % 100000000);
        result.AppendLine(line);
    }
}

// A figure from /proc/self/status in KiB, e.g. "VmRSS".
long statusKib(const char* name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(name) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLong();
    }
    return 0;
}

double milliseconds(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The median and the slowest of Pages page-down repaints from the top.
std::pair<double, double> scrollPages(TResultView& view)
{
    QScrollBar* bar = view.verticalScrollBar();
    bar->setValue(0);
    view.viewport()->repaint();
    std::vector<double> times;
    for (int page = 1; page <= Pages; ++page) {
        QElapsedTimer timer;
        timer.start();
        bar->setValue(bar->value() + bar->pageStep());
        view.viewport()->repaint();
        times.push_back(milliseconds(timer));
    }
    return {median(times), *std::max_element(times.begin(), times.end())};
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    TResultText result;
    fillResult(result);
    std::printf("%d lines, %.1f M units\n", LineCount, result.Size() / 1e6);

    const long rssStart = statusKib("VmRSS");
    // A bare window first, so the figures below split what any window costs (style, fonts) from
    // what the view adds.
    QWidget bare;
    bare.resize(1200, 800);
    bare.show();
    QCoreApplication::processEvents();
    const long rssBefore = statusKib("VmRSS");
    const long peakBefore = statusKib("VmHWM");
    TResultView view;
    view.resize(1200, 800);
    view.show();
    QCoreApplication::processEvents();

    // Showing the finished result: the first pass as the window meets it, then the best pass.
    std::vector<double> shows;
    for (int pass = 0; pass < Passes; ++pass) {
        view.SetResult(nullptr);
        QElapsedTimer timer;
        timer.start();
        view.SetResult(&result);
        view.viewport()->repaint();
        shows.push_back(milliseconds(timer));
    }
    std::printf("SetResult + first paint:     first %6.2f ms, best %6.2f ms  (target < 200 ms)\n",
                shows.front(), *std::min_element(shows.begin(), shows.end()));

    const auto [plainMedian, plainMax] = scrollPages(view);
    std::printf("Page down + repaint:         median %5.2f ms, slowest %5.2f ms over %d pages "
                "(%d rows; target < 16 ms)\n",
                plainMedian, plainMax, Pages, view.verticalScrollBar()->pageStep());
    view.SelectAll();
    const auto [selectedMedian, selectedMax] = scrollPages(view);
    std::printf("  the same, all selected:    median %5.2f ms, slowest %5.2f ms\n", selectedMedian,
                selectedMax);
    view.Select(0, 0);
    view.horizontalScrollBar()->setValue(400);
    const auto [shiftedMedian, shiftedMax] = scrollPages(view);
    std::printf("  the same, scrolled right:  median %5.2f ms, slowest %5.2f ms\n", shiftedMedian,
                shiftedMax);

    const long rssAfter = statusKib("VmRSS");
    const long peakAfter = statusKib("VmHWM");
    const double addedMb = (rssAfter - rssBefore) * 1024 / 1e6;
    std::printf("A bare 1200x800 window: +%.1f MB\n", (rssBefore - rssStart) * 1024 / 1e6);
    std::printf("Memory: VmRSS %.1f -> %.1f MB (+%.1f MB, %.2f %% of the text), VmHWM %.1f -> "
                "%.1f MB (target: view <= 10 %% of the text)\n",
                rssBefore * 1024 / 1e6, rssAfter * 1024 / 1e6, addedMb,
                100 * addedMb / (result.Size() / 1e6), peakBefore * 1024 / 1e6,
                peakAfter * 1024 / 1e6);

    // A listing's last ResultChanged: the view already holds all but the last lines.
    QElapsedTimer timer;
    timer.start();
    result.AppendLine(QStringLiteral(":: Listing Completed."));
    view.ResultChanged();
    view.viewport()->repaint();
    std::printf("ResultChanged + paint, 1 new line: %6.2f ms\n", milliseconds(timer));
    timer.start();
    result.TruncateLines(LineCount - 3000);
    view.ResultChanged();
    view.viewport()->repaint();
    std::printf("ResultChanged + paint after removing 3,000 lines: %6.2f ms\n",
                milliseconds(timer));
    return 0;
}
