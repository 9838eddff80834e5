#include "cli/command_line.h"
#include "cli/exit_status.h"
#include "core/listing/folder_walker.h"
#include "core/system/program_info.h"
#include "core/text/assertion.h"
#include "core/text/file_names.h"
#include "core/text/self_test.h"
#include "gui/desktop/desktop.h"
#include "gui/error_report/application.h"
#include "gui/main_window/main_window.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>
#include <optional>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// A standard descriptor that the caller closed (">&-") would be the next file opened, so the
// listing would go into a requested file or a descriptor Qt holds. /dev/null keeps the
// numbers taken: what goes to a closed output is dropped, as the caller asked.
void openClosedStandardDescriptors()
{
#ifdef Q_OS_UNIX
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd)
            ::close(opened); // fd was taken meanwhile: nothing to fill
    }
#endif
}

// The first argument as the file system knows it: a name that is not UTF-8 keeps its bytes.
std::optional<QString> commandLineLocation(int argc, char** argv)
{
    if (argc < 2)
        return std::nullopt;
    return dirka::DecodeFileName(argv[1], std::strlen(argv[1]));
}

// Qt would abort when it finds no display; a user who started the window by mistake in a
// terminal is better served by one line that names the headless mode.
bool canShowWindows(int argc, char** argv)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return true;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0)
            return true;
    }
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return true;
#endif
}

} // namespace

int main(int argc, char** argv)
{
    openClosedStandardDescriptors();
    try {
        dirka::RunSelfTest();
    } catch (const dirka::EAssertionFailed& e) {
        std::fprintf(stderr, "dirka: %s\n", e.what());
        return dirka::ExitSelfTestFailed;
    }
    dirka::CollectInfo();

    if (const std::optional<int> status = dirka::RunCommandLine(argc, argv))
        return *status;

    if (!canShowWindows(argc, argv)) {
        std::fputs("dirka: no display to show the window on; to list without one, use "
                   "'dirka --list LOCATION' (see 'dirka --help')\n",
                   stderr);
        return dirka::ExitUsage;
    }
    dirka::TApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("example.pelmora.Dirka"));
    QApplication::setApplicationName(QStringLiteral("Dirka"));
    QApplication::setOrganizationName(QStringLiteral("Pelmora"));
    QIcon icon;
    for (const char* size : {"16", "32", "64", "256"})
        icon.addFile(u":/icons/dirka-" + QLatin1String(size) + u".png");
    QApplication::setWindowIcon(icon);
    dirka::TSystemDesktop desktop;
    dirka::TMainWindow mainWindow(desktop, commandLineLocation(argc, argv));
    mainWindow.show();
    return app.exec();
}
