#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace dirka {

inline constexpr int FilterCount = 21;
inline constexpr int PresetCount = 10;
inline constexpr int CustomPreset = 10;

/// The last code of each list of the style dialog: list A (S.Base, S.Folder), list B (S.File),
/// list C (S.SortMode) and list D (S.Header).
inline constexpr int LastFolderCode = 10;
inline constexpr int LastFileCode = 12;
inline constexpr int LastSortCode = 5;
inline constexpr int LastHeaderCode = 7;
inline constexpr int MaxIndentSpace = 20;

/// The codes of TListStyle's two-way and three-way choices.
inline constexpr int ListMode = 0; // Mode
inline constexpr int TreeMode = 1;
inline constexpr int TabSeparator = 0; // Separator
inline constexpr int SpaceSeparator = 1;
inline constexpr int TabIndent = 0; // IndentMode
inline constexpr int SpaceIndent = 1;
inline constexpr int NoIndent = 2;
/// The "Search for" entry "All files", chosen at every start.
inline constexpr int AllFilesFilter = 0;
/// The orders of list C (SortMode): files as the folder gives them, or sorted.
inline constexpr int UnsortedOrder = 0;
inline constexpr int ByNameOrder = 1;
inline constexpr int ByExtensionOrder = 2;
inline constexpr int LargestFirstOrder = 3;
inline constexpr int SmallestFirstOrder = 4;
inline constexpr int RandomOrder = 5;

/// The default mask text of each "Search for" entry, by index.
const std::array<QString, FilterCount>& DefaultFilterMasks();

/// How a listing looks. Codes are the positions of the style dialog's drop-down items.
struct TListStyle {
    int Preset = 0; // 0..9 a built-in preset, 10 "Custom"
    QString Name;   // filled only in the preset table; never persisted
    int Mode = 0;   // 0 list, 1 tree
    bool IsNewLine = true;
    bool IsSkip = true;
    bool IsSummary = true;
    int Base = 9;       // item list A
    int Folder = 2;     // item list A
    int File = 1;       // item list B
    int Separator = 0;  // 0 tab, 1 space
    int IndentMode = 0; // 0 tab, 1 IndentSpace spaces, 2 none
    int IndentSpace = 3;
    int SortMode = 1; // item list C
    bool IsHeader = true;
    int Header = 7; // item list D

    bool operator==(const TListStyle&) const = default;
};

/// Every user choice that persists between runs.
struct TSettings {
    int MaxDepth = 9;
    bool IsMaxDepth = false;
    bool IsHiddenFiles = false;
    bool IsSystemFiles = false;
    bool IsClear = true;
    bool IsCopy = false;
    bool IsSound = true;
    QString PathList;
    QString PathSave = QStringLiteral("<Desktop>");
    int Filter = 0;
    std::array<QString, FilterCount> FilterMask = DefaultFilterMasks();
    TListStyle Style;

    bool operator==(const TSettings&) const = default;
};

void SetDefaultStyle(TListStyle& style);
void SetDefaultSettings(TSettings& settings);
/// The text of each "Search for" entry, by index ("All files", ..., "User defined 4").
const std::array<QString, FilterCount>& FilterEntryTexts();
/// Entries 0 and 1 leave matching files out; all others list only matching files.
inline bool IsSkipListFilter(int filter)
{
    return filter == 0 || filter == 1;
}

/// The ten built-in styles; each entry's Preset is its index.
const std::array<TListStyle, PresetCount>& ListStylePresets();
/// The style a listing run uses: a preset whole with the stored header choice, else the stored
/// style.
TListStyle ApplyPreset(const TListStyle& stored);

/// Drop-down item texts of the style dialog.
const QStringList& FolderItemChoices(); // item list A: Base and Folder
const QStringList& FileItemChoices();   // item list B: File
const QStringList& SortModeChoices();   // item list C
const QStringList& HeaderChoices();     // item list D

} // namespace dirka
