#include "cli/command_line.h"

#include "cli/cli_messages.h"
#include "cli/command_parser.h"
#include "cli/exit_status.h"
#include "cli/list_command.h"
#include "core/system/file_io.h"
#include "version.h"

#include <QCoreApplication>

#include <cstdio>
#include <iterator>
#include <new>
#include <variant>

namespace dirka {

namespace {

constexpr char UsageText[] =
    "Usage: dirka [LOCATION]\n"
    "       dirka --list LOCATION [--set NAME=VALUE]... [--output FILE [--encoding E]]\n"
    "                             [--m3u8 FILE] [--html FILE [--html-full]\n"
    "                             [--html-prefix TEXT] [--html-link-folders]]\n"
    "                             [--csv FILE [--csv-raw]] [--json FILE]\n"
    "       dirka --compare OLD NEW [--set NAME=VALUE]... [--csv FILE [--csv-raw]]\n"
    "                               [--json FILE]\n"
    "       dirka --help | --version\n"
    "\n"
    "Without --list, starts the desktop program; a LOCATION given there is listed one level\n"
    "deep right after start.\n"
    "\n"
    "  --list LOCATION     list LOCATION (folders joined by \"|\" are listed one after\n"
    "                      another) with the stored settings and style, without a window,\n"
    "                      and write the result to standard output in UTF-8\n"
    "                      A LOCATION may name a saved listing (a file --json or --csv\n"
    "                      wrote): its tree is listed as it was saved, with the sizes and\n"
    "                      times it had\n"
    "                      (save with a style that skips no folder to keep empty ones)\n"
    "  --compare OLD NEW   list both (folders or saved listings) with the same settings and\n"
    "                      print \"+ PATH\" added, \"- PATH\" removed, \"~ PATH  size: a -> b;\n"
    "                      modified: ...\" changed, in the listing's order, then a summary;\n"
    "                      --csv and --json write them as records with a \"change\" field.\n"
    "                      A renamed or moved item shows as removed and added\n"
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
    "  --csv FILE          write one record per listed item (type, path, name, size,\n"
    "                      modified, depth, hidden) as CSV: UTF-8 with a byte-order mark,\n"
    "                      CR LF, names as their raw bytes; a text cell beginning with\n"
    "                      = + - @, tab or CR gets a ' in front, so that no spreadsheet\n"
    "                      program takes it for a formula\n"
    "  --csv-raw           write such cells as they are, without the '\n"
    "  --json FILE         write the same records as JSON Lines, one object a line; a name\n"
    "                      that is not UTF-8 shows U+FFFD in \"path\" and \"name\" and has\n"
    "                      its exact bytes, base64-encoded, in \"path_bytes\" and \"name_bytes\";\n"
    "                      controls and bidirectional controls are \\u escapes\n"
    "                      (links: type \"link\" with the size and time of their target)\n"
    "  --help              show this text\n"
    "  --version           show the version\n"
    "\n"
    "Ctrl+C stops the listing: what was listed so far is printed, but no requested file\n"
    "is replaced, so files of those names keep their old content. SIGTERM and SIGHUP act\n"
    "the same. After the listing, Ctrl+C lets the files finish. Any other signal that\n"
    "ends a program (SIGQUIT, SIGUSR1, SIGALRM, SIGABRT, SIGSEGV...) ends it as usual,\n"
    "but first removes the unfinished copies, so no file is left half written.\n"
    "\n"
    "Exit status: 0 done; 1 a file could not be written, or memory ran out; 2 usage error\n"
    "or a location that does not exist or a damaged saved listing; 3 done, but a folder\n"
    "could not be read; 4 --compare found differences (0: none); 130, 143\n"
    "or 129 the listing was stopped by Ctrl+C, SIGTERM or SIGHUP; 128 + N when signal N\n"
    "ended the program, as a shell reports it: 131 SIGQUIT, 138 SIGUSR1, 142 SIGALRM...\n"
    "\n"
    "Every name --set takes, with its values, the presets and the \"Search for\" entries by\n"
    "number: see 'man dirka'.\n";

int usageError(const QString& message)
{
    std::fprintf(stderr, "dirka: %s\nTry 'dirka --help' for more information.\n",
                 message.toUtf8().constData());
    return ExitUsage;
}

// Two outputs on one file would leave only the one written last, or interleave both.
std::optional<QString> sharedOutput(const TListCommand& command)
{
    const std::pair<const char*, const QString*> outputs[] = {
        {"--output", &command.OutputFile}, {"--m3u8", &command.PlaylistFile},
        {"--html", &command.PageFile},     {"--csv", &command.CsvFile},
        {"--json", &command.JsonFile},
    };
    for (std::size_t a = 0; a < std::size(outputs); ++a) {
        for (std::size_t b = a + 1; b < std::size(outputs); ++b) {
            if (!outputs[a].second->isEmpty() && !outputs[b].second->isEmpty() &&
                IsSameFile(*outputs[a].second, *outputs[b].second))
                return QStringLiteral("%1 and %2 name the same file")
                    .arg(QLatin1String(outputs[a].first), QLatin1String(outputs[b].first));
        }
    }
    return std::nullopt;
}

int runList(const TListCommand& command, bool compare, int argc, char** argv)
{
    if (const std::optional<QString> clash = sharedOutput(command))
        return usageError(*clash);
    QCoreApplication app(argc, argv);
    try {
        return compare ? RunCompareCommand(command) : RunListCommand(command);
    } catch (const std::bad_alloc&) {
        // Unwinding has removed the unfinished copies, so their targets keep their content.
        PrintError(QStringLiteral("out of memory; unfinished files were removed"));
        return ExitFailed;
    }
}

} // namespace

std::optional<int> RunCommandLine(int argc, char** argv)
{
    QByteArrayList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    const auto parsed = ParseCommandLine(arguments);
    if (const auto* error = std::get_if<TUsageError>(&parsed))
        return usageError(error->Message);
    const TParsedCommand& command = std::get<TParsedCommand>(parsed);
    switch (command.Mode) {
    case TCommandMode::Window:
        return std::nullopt;
    case TCommandMode::Help:
        std::fputs(UsageText, stdout);
        return ExitDone;
    case TCommandMode::Version:
        std::printf("Dirka %s\n", VersionText);
        return ExitDone;
    case TCommandMode::List:
    case TCommandMode::Compare:
        break;
    }
    return runList(command.List, command.Mode == TCommandMode::Compare, argc, argv);
}

} // namespace dirka
