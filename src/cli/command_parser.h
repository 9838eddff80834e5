#pragma once

#include "core/output/text_file_writer.h"

#include <QByteArrayList>
#include <QString>

#include <utility>
#include <variant>
#include <vector>

namespace dirka {

/// What `dirka --list` was asked to do.
struct TListCommand {
    QString Location;                              // as the location box takes it
    std::vector<std::pair<QString, QString>> Sets; // --set NAME=VALUE, in order
    QString OutputFile;                            // --output: saved as Save As does
    int OutputEncoding = SaveCodeUtf8Bom;
    QString PlaylistFile;         // --m3u8
    QString PageFile;             // --html
    bool PageFullLinks = false;   // --html-full
    QString PagePrefix;           // --html-prefix
    bool PageLinkFolders = false; // --html-link-folders
    QString CsvFile;              // --csv: one record per listed item
    bool CsvRaw = false;          // --csv-raw: no "'" before cells that look like formulas
    QString JsonFile;             // --json: the same records as JSON Lines
    QString CompareWith;          // --compare OLD NEW: NEW, with OLD in Location
};

enum class TCommandMode {
    Window, // the desktop program, the first argument (if any) its location
    Help,
    Version,
    List,
    Compare, // `dirka --compare OLD NEW`: what changed between two listings of a tree
};

struct TParsedCommand {
    TCommandMode Mode = TCommandMode::Window;
    TListCommand List; // for TCommandMode::List and Compare
};

/// Why the arguments were refused, for "dirka: MESSAGE" and exit status 2.
struct TUsageError {
    QString Message;
};

/// The arguments after the program's name, as bytes: {"--list", "/tmp", "--m3u8", "p"} gives
/// a List command; {"--version", "x"} gives an error. File names and the location are decoded
/// like names read from a folder, so any name reaches the file system unchanged.
std::variant<TParsedCommand, TUsageError> ParseCommandLine(const QByteArrayList& arguments);

} // namespace dirka
