#include "cli/command_line.h"

#include "cli/list_command.h"
#include "core/text/file_names.h"
#include "version.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

namespace dirka {

namespace {

constexpr char UsageText[] =
    "Usage: dirka [LOCATION]\n"
    "       dirka --list LOCATION [--set NAME=VALUE]... [--output FILE [--encoding E]]\n"
    "                             [--m3u8 FILE] [--html FILE [--html-full]\n"
    "                             [--html-prefix TEXT] [--html-link-folders]]\n"
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
    "  --output FILE       also save the result as the window's Save As does (CR LF)\n"
    "  --encoding E        utf8bom (the default), utf8 or utf16, for --output\n"
    "  --m3u8 FILE         write a playlist of the listed files\n"
    "  --html FILE         write an XHTML page whose lines link to the listed items\n"
    "  --html-full         full file:// links (the default is relative links when one\n"
    "                      location is listed)\n"
    "  --html-prefix TEXT  put TEXT in front of every relative link\n"
    "  --html-link-folders link folder lines too\n"
    "  --help              show this text\n"
    "  --version           show the version\n"
    "\n"
    "Ctrl+C stops the listing; what was listed so far is still printed and written.\n"
    "\n"
    "Exit status: 0 done; 1 a file could not be written; 2 usage error or a location that\n"
    "does not exist; 3 done, but a folder could not be read; 130 stopped by Ctrl+C.\n"
    "\n"
    "Every name --set takes, with its values, the presets and the \"Search for\" entries by\n"
    "number: see 'man dirka'.\n";

bool isFlag(const char* arg, const char* flag)
{
    return std::strcmp(arg, flag) == 0;
}

int usageError(const char* message)
{
    std::fprintf(stderr, "dirka: %s\nTry 'dirka --help' for more information.\n", message);
    return 2;
}

// Arguments are bytes: a location is decoded like a file name, so any name can be given.
std::optional<int> encodingCode(const char* name)
{
    if (isFlag(name, "utf8bom"))
        return 5;
    if (isFlag(name, "utf8"))
        return 4;
    if (isFlag(name, "utf16"))
        return 2;
    return std::nullopt;
}

// File names and the location are bytes: decoded like names read from a folder, so any name
// can be given and reaches the file system unchanged.
QString decodedArgument(const char* arg)
{
    return DecodeFileName(arg, std::strlen(arg));
}

std::optional<TListCommand> parseList(int argc, char** argv, const char** error)
{
    TListCommand command;
    bool haveLocation = false;
    bool haveEncoding = false;
    std::set<std::string> given;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        // A value that looks like an option is one the user forgot ("--html --html-full"); a
        // repeated option would silently lose its first value.
        const auto takesValue = [&](const char* flag) {
            if (!isFlag(arg, flag))
                return false;
            if (!value || std::strncmp(value, "--", 2) == 0) {
                *error = "an option lacks its value (a value may not begin with \"--\": write "
                         "./--name for such a file)";
                return false;
            }
            if (!isFlag(flag, "--set") && !given.insert(flag).second) {
                *error = "an option is given twice";
                return false;
            }
            ++i;
            return true;
        };
        const auto takesFile = [&](const char* flag) {
            if (!takesValue(flag))
                return false;
            if (*value == '\0') {
                *error = "a file name may not be empty";
                return false;
            }
            return true;
        };
        if (takesValue("--list")) {
            command.Location = decodedArgument(value);
            haveLocation = true;
        } else if (takesValue("--set")) {
            const QString assignment = QString::fromUtf8(value);
            const qsizetype equals = assignment.indexOf(u'=');
            if (equals <= 0) {
                *error = "--set takes NAME=VALUE";
                return std::nullopt;
            }
            command.Sets.emplace_back(assignment.left(equals), assignment.mid(equals + 1));
        } else if (takesFile("--output")) {
            command.OutputFile = decodedArgument(value);
        } else if (takesValue("--encoding")) {
            const std::optional<int> code = encodingCode(value);
            if (!code) {
                *error = "--encoding takes utf8bom, utf8 or utf16";
                return std::nullopt;
            }
            command.OutputEncoding = *code;
            haveEncoding = true;
        } else if (takesFile("--m3u8")) {
            command.PlaylistFile = decodedArgument(value);
        } else if (takesFile("--html")) {
            command.PageFile = decodedArgument(value);
        } else if (takesValue("--html-prefix")) {
            command.PagePrefix = QString::fromUtf8(value);
        } else if (*error) {
            return std::nullopt;
        } else if (isFlag(arg, "--html-full")) {
            command.PageFullLinks = true;
        } else if (isFlag(arg, "--html-link-folders")) {
            command.PageLinkFolders = true;
        } else {
            if (!*error)
                *error = "unknown argument";
            return std::nullopt;
        }
    }
    if (!haveLocation) {
        *error = "--list takes a location";
        return std::nullopt;
    }
    if (haveEncoding && command.OutputFile.isEmpty()) {
        *error = "--encoding goes with --output";
        return std::nullopt;
    }
    const bool pageOptions =
        command.PageFullLinks || command.PageLinkFolders || !command.PagePrefix.isEmpty();
    if (pageOptions && command.PageFile.isEmpty()) {
        *error = "--html-full, --html-prefix and --html-link-folders go with --html";
        return std::nullopt;
    }
    return command;
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
    if (argv[1][0] != '-' || argv[1][1] != '-')
        return std::nullopt; // a location for the window
    const char* error = nullptr;
    const std::optional<TListCommand> command = parseList(argc, argv, &error);
    if (!command)
        return usageError(error);
    QCoreApplication app(argc, argv);
    return RunListCommand(*command);
}

} // namespace dirka
