#include "gui/main_window/command_states.h"

#include <QTest>

using namespace dirka;

namespace {

// One row a command: its state when idle without and with a result, busy, and exporting.
struct TRow {
    TCommand Command;
    const char* Name;
    bool IdleEmpty;
    bool IdleResult;
    bool Busy;
    bool Exporting;
};

using C = TCommand;
constexpr TRow Rows[] = {
    {C::ListNormal, "List", true, true, false, false},
    {C::ListDepth1, "One Depth List", true, true, false, false},
    {C::Stop, "Stop", false, false, true, false},
    {C::Options, "Options", true, true, false, false},
    {C::ListStyle, "Select List Style", true, true, false, false},
    {C::CopyResult, "Copy Results", false, true, false, true},
    {C::Clear, "Clear", false, true, false, false},
    {C::SelectAll, "Select All", true, true, false, true},
    {C::Find, "Find", true, true, false, true},
    {C::FindNext, "Find Next", true, true, false, true},
    {C::FindBack, "Find Back", true, true, false, true},
    {C::ShowHideFindPanel, "Show Search Panel", true, true, true, true},
    {C::LocationSelect, "Select Location", true, true, false, true},
    {C::OpenCatalog, "Open Catalog", true, true, false, false},
    {C::CompareWithCatalog, "Compare with Catalog", true, true, false, false},
    {C::LocationEnter, "Enter Location", true, true, false, true},
    {C::FilterEnter, "Enter Search for", true, true, false, true},
    {C::SaveAs, "Save As", false, true, false, false},
    {C::ExportToM3U8, "Export to M3U8", false, true, false, false},
    {C::ExportToHTML, "Export to HTML", false, true, false, false},
    {C::ExportToCSV, "Export to CSV", false, true, false, false},
    {C::ExportToJSON, "Export to JSON", false, true, false, false},
    {C::Print, "Print", false, true, false, false},
    {C::Exit, "Exit", true, true, true, true},
    {C::Open, "Open Selected", true, true, false, true},
    {C::Explore, "Explore Selected", true, true, false, true},
    {C::Maximize, "Maximize", true, true, true, true},
    {C::Minimize, "Minimize", true, true, true, true},
    {C::HelpF1, "Help", true, true, true, true},
    {C::OnlineHelp, "Online Help", true, true, true, true},
    {C::CheckLatest, "Check Latest Version", true, true, true, true},
    {C::Support, "Feedback and Support", true, true, true, true},
    {C::WebPage, "Web Page", true, true, true, true},
    {C::About, "About", true, true, false, true},
    {C::Error, "actionError", true, true, true, true},
};
static_assert(std::size(Rows) == CommandCount, "a row for every command");

} // namespace

class TestCommandStates : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void table_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("idleEmpty");
        QTest::addColumn<bool>("idleResult");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<bool>("exporting");
        for (const TRow& row : Rows)
            QTest::newRow(row.Name)
                << int(row.Command) << row.IdleEmpty << row.IdleResult << row.Busy << row.Exporting;
    }
    void table()
    {
        QFETCH(int, command);
        QFETCH(bool, idleEmpty);
        QFETCH(bool, idleResult);
        QFETCH(bool, busy);
        QFETCH(bool, exporting);
        const auto c = TCommand(command);
        QCOMPARE(CommandStates({.Busy = false, .HasResult = false})[c], idleEmpty);
        QCOMPARE(CommandStates({.Busy = false, .HasResult = true})[c], idleResult);
        // A run hides the result: whether one was there before does not matter.
        QCOMPARE(CommandStates({.Busy = true, .HasResult = false})[c], busy);
        QCOMPARE(CommandStates({.Busy = true, .HasResult = true})[c], busy);
        // An export reads a result, so there is one.
        QCOMPARE(CommandStates({.HasResult = true, .Exporting = true})[c], exporting);
    }

    void inputAreas()
    {
        const TCommandStates idle = CommandStates({});
        QVERIFY(idle.LocationRow && idle.FindPanel);
        const TCommandStates busy = CommandStates({.Busy = true, .HasResult = true});
        QVERIFY(!busy.LocationRow && !busy.FindPanel);
        // During an export the boxes stay usable; what they would start is disabled.
        const TCommandStates exporting = CommandStates({.HasResult = true, .Exporting = true});
        QVERIFY(exporting.LocationRow && exporting.FindPanel);
    }
};

QTEST_GUILESS_MAIN(TestCommandStates)
#include "tst_command_states.moc"
