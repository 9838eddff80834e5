// The window's side of a listing: the whole run through the List command, the result shown
// after the walk ends, and Find Next over the whole result when the text is not there.
//   QT_QPA_PLATFORM=offscreen build/bench/bench_gui_listing TREE [PRESET|ps [copy]]
// Hidden and system entries are listed, as by the command-line bench; "ps" is the path-and-size
// style of bench/listing.sh; "copy" turns on "Copy results after list", so the run ends with the
// result on the clipboard.
#include "core/settings/settings_persistence.h"
#include "core/system/program_info.h"
#include "gui/desktop/desktop.h"
#include "gui/error_report/application.h"
#include "gui/main_window/main_window.h"
#include "gui/result_view/result_view.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace dirka;

namespace {

class TQuietDesktop : public TDesktop {
public:
    void OpenDocument(const QString&) override {}
    void ShowInFileManager(const QString&) override {}
    void Beep() override {}
    void PlaySound(const QString&) override {}
    void Warning(QWidget*, const QString& text) override
    {
        std::fprintf(stderr, "warning: %s\n", qPrintable(text));
    }
    void Error(QWidget*, const QString&) override {}
    std::optional<QString> RunSaveDialog(QFileDialog&) override { return std::nullopt; }
    std::optional<QString> ChooseFolder(QWidget*, const QString&, const QString&) override
    {
        return std::nullopt;
    }
    std::optional<QString> ChooseFile(QWidget*, const QString&, const QString&,
                                      const QString&) override
    {
        return std::nullopt;
    }
};

double msSince(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_gui_listing TREE [PRESET [copy]]\n");
        return 2;
    }
    TApplication app(argc, argv);             // as the program runs it
    QStandardPaths::setTestModeEnabled(true); // never the user's settings
    CollectInfo();
    TSettings settings;
    SetDefaultSettings(settings);
    const QByteArray preset = argc > 2 ? QByteArray(argv[2]) : QByteArray("6");
    settings.Style.Preset = preset.toInt();
    if (preset == "ps") { // path and size, as the command-line bench compares with find
        settings.Style.Preset = 10;
        settings.Style.Mode = 0;
        settings.Style.Base = 0;
        settings.Style.Folder = 0;
        settings.Style.File = 11;
        settings.Style.IsSummary = false;
        settings.Style.IsNewLine = false;
        settings.Style.SortMode = 1;
        settings.Style.IsHeader = false;
    }
    settings.IsCopy = argc > 3 && QByteArray(argv[3]) == "copy";
    settings.IsHiddenFiles = true;
    settings.IsSystemFiles = true;
    settings.IsSound = false;
    SaveSettings(settings);

    TQuietDesktop desktop;
    TMainWindow window(desktop);
    window.show();
    QCoreApplication::processEvents();
    window.findChild<QComboBox*>(QStringLiteral("comboPath"))
        ->setEditText(QString::fromLocal8Bit(argv[1]));

    QElapsedTimer whole;
    whole.start();
    window.findChild<QAction*>(QStringLiteral("actionListNormal"))->trigger();
    const double walked = msSince(whole);
    QElapsedTimer shown;
    shown.start();
    window.ResultView()->viewport()->repaint();
    const double paint = msSince(shown);
    std::printf("lines %lld\nlisting through List: %.0f ms\nfirst paint after the walk: %.1f ms\n",
                static_cast<long long>(window.Result().LineCount()), walked + paint, paint);

    window.findChild<QLineEdit*>(QStringLiteral("edFind"))
        ->setText(QStringLiteral("no such text anywhere"));
    QAction* findNext = window.findChild<QAction*>(QStringLiteral("actionFindNext"));
    std::vector<double> finds;
    for (int round = 0; round < 7; ++round) {
        QElapsedTimer timer;
        timer.start();
        findNext->trigger();
        finds.push_back(msSince(timer));
    }
    std::sort(finds.begin(), finds.end());
    std::printf("Find Next, text absent (%lld units): median %.1f ms\n",
                static_cast<long long>(window.Result().Size()), finds[finds.size() / 2]);
    return 0;
}
