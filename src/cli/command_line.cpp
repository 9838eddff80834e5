#include "cli/command_line.h"

#include "version.h"

#include <cstdio>
#include <cstring>

namespace dirka {

namespace {

constexpr char UsageText[] =
    "Usage: dirka [LOCATION]\n"
    "       dirka --list LOCATION [--set NAME=VALUE]...\n"
    "       dirka --help | --version\n"
    "\n"
    "Without --list, starts the desktop program; a LOCATION given there is listed one level\n"
    "deep right after start.\n"
    "\n"
    "  --list LOCATION     list LOCATION (folders joined by \"|\" are listed one after\n"
    "                      another) with the stored settings and style, without a window,\n"
    "                      and write the result to standard output in UTF-8\n"
    "  --set NAME=VALUE    override one stored setting by its settings-file name for this\n"
    "                      run, e.g. --set S.Preset=6 --set MaxDepth=2 --set IsMaxDepth=1\n"
    "  --help              show this text\n"
    "  --version           show the version\n"
    "\n"
    "Exit status: 0 done; 3 done, but a folder could not be read; 2 usage error or a\n"
    "location that does not exist.\n";

bool isFlag(const char* arg, const char* flag)
{
    return std::strcmp(arg, flag) == 0;
}

} // namespace

std::optional<int> RunCommandLine(int argc, char** argv)
{
    if (argc < 2)
        return std::nullopt;
    if (isFlag(argv[1], "--help") || isFlag(argv[1], "-h")) {
        std::fputs(UsageText, stdout);
        return 0;
    }
    if (isFlag(argv[1], "--version")) {
        std::printf("Dirka %s\n", VersionText);
        return 0;
    }
    return std::nullopt;
}

} // namespace dirka
