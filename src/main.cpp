#include "cli/command_line.h"
#include "core/text/assertion.h"
#include "core/system/program_info.h"
#include "core/text/self_test.h"
#include "gui/main_window.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    try {
        dirka::RunSelfTest();
    } catch (const dirka::EAssertionFailed& e) {
        std::fprintf(stderr, "dirka: %s\n", e.what());
        return 70;
    }
    dirka::CollectInfo();

    if (const std::optional<int> status = dirka::RunCommandLine(argc, argv))
        return *status;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Dirka"));
    dirka::TFormMain mainWindow;
    mainWindow.show();
    return app.exec();
}
