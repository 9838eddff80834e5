#include "gui/main_window/command_states.h"

namespace dirka {

namespace {

using C = TCommand;

// Commands that start a listing or open a dialog whose answer changes what a listing does.
constexpr TCommand ListingCommands[] = {C::ListNormal,     C::ListDepth1,  C::LocationEnter,
                                        C::LocationSelect, C::FilterEnter, C::Options,
                                        C::ListStyle,      C::OpenCatalog, C::CompareWithCatalog};

// Commands that read the shown result or move in it.
constexpr TCommand ViewCommands[] = {C::About, C::Open,     C::Explore, C::SelectAll,
                                     C::Find,  C::FindNext, C::FindBack};

// Commands that need a result: they read it whole or empty it.
constexpr TCommand ResultCommands[] = {C::SaveAs, C::ExportToM3U8, C::ExportToHTML, C::CopyResult,
                                       C::Clear,  C::ExportToCSV,  C::ExportToJSON, C::Print};

// Commands an export must not meet: they change the result or start another reader of it.
constexpr TCommand ExportBlocked[] = {
    C::ListNormal,         C::ListDepth1,   C::OpenCatalog, C::Clear,        C::SaveAs,
    C::CompareWithCatalog, C::Options,      C::ListStyle,   C::ExportToM3U8, C::ExportToCSV,
    C::ExportToJSON,       C::ExportToHTML, C::Print};

} // namespace

TCommandStates CommandStates(const TWindowState& state)
{
    TCommandStates states;
    states.Enabled.fill(true);
    const auto set = [&states](const auto& commands, bool on) {
        for (const TCommand command : commands)
            states.Enabled[std::size_t(command)] = on;
    };
    set(ListingCommands, !state.Busy);
    set(ViewCommands, !state.Busy);
    set(ResultCommands, !state.Busy && state.HasResult);
    if (state.Exporting)
        set(ExportBlocked, false);
    states.Enabled[std::size_t(C::Stop)] = state.Busy;
    states.LocationRow = !state.Busy;
    states.FindPanel = !state.Busy;
    return states;
}

} // namespace dirka
