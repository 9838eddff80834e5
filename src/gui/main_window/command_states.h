#pragma once

#include <array>
#include <cstddef>

// Which of the main window's commands are enabled, decided from the window's state alone, so
// the rule is one table that tests read without a widget.
namespace dirka {

/// Every command of the main window, in the order of its command table.
enum class TCommand {
    ListNormal,
    ListDepth1,
    Stop,
    Options,
    ListStyle,
    CopyResult,
    Clear,
    SelectAll,
    Find,
    FindNext,
    FindBack,
    ShowHideFindPanel,
    LocationSelect,
    OpenCatalog,
    CompareWithCatalog,
    LocationEnter,
    FilterEnter,
    SaveAs,
    ExportToM3U8,
    ExportToHTML,
    ExportToCSV,
    ExportToJSON,
    Print,
    Exit,
    Open,
    Explore,
    Maximize,
    Minimize,
    HelpF1,
    OnlineHelp,
    CheckLatest,
    Support,
    WebPage,
    About,
    Error,
};
inline constexpr std::size_t CommandCount = std::size_t(TCommand::Error) + 1;

/// What the enabled states depend on.
struct TWindowState {
    bool Busy = false;      // a listing runs
    bool HasResult = false; // the result text is not empty
    bool Exporting = false; // an export reads the result and lets events run meanwhile
};

/// The enabled state of every command, and of the two input areas that start or steer work.
struct TCommandStates {
    std::array<bool, CommandCount> Enabled{};
    bool LocationRow = false;
    bool FindPanel = false;

    bool operator[](TCommand command) const { return Enabled[std::size_t(command)]; }
};

/// Idle: everything but Stop, the result commands only with a result. Busy: only Stop and the
/// commands that touch neither the listing nor the result. Exporting: nothing that could change
/// the result, start a listing or start a second export.
TCommandStates CommandStates(const TWindowState& state);

} // namespace dirka
