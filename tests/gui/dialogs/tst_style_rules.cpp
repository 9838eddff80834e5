#include "gui/dialogs/style_rules.h"

#include "test_support.h"

#include <QTest>
#include <QTextDocument>

using namespace dirka;
using testsupport::linesOf;

// Records are designated initializers naming only what a case is about.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

const TListStyle Custom{.Preset = 10,
                        .Mode = 1,
                        .IsSkip = false,
                        .Base = 6,
                        .Folder = 5,
                        .File = 12,
                        .Separator = 1,
                        .IndentMode = 1,
                        .IndentSpace = 20,
                        .SortMode = 5,
                        .IsHeader = false,
                        .Header = 2};

} // namespace

class TestStyleRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void styleControls()
    {
        TStyleControls controls;
        LoadStyleControls(controls, Custom, true);
        QCOMPARE(ReadStyleControls(controls), Custom);
        // Codes out of range leave the radio buttons alone and the drop-downs unselected.
        TListStyle wild = Custom;
        wild.Preset = 11;
        wild.Mode = 0;
        wild.Separator = -1;
        wild.IndentMode = 3;
        wild.Base = 11;
        wild.File = 13;
        wild.IndentSpace = 25;
        wild.Header = 8;
        LoadStyleControls(controls, wild, false);
        QVERIFY(controls == TStyleControls({.StylePosition = -1,
                                            .SeparatorSpace = true,
                                            .IndentMode = 1,
                                            .NewLine = true,
                                            .Summary = true,
                                            .Base = -1,
                                            .Folder = 5,
                                            .File = -1,
                                            .SortMode = 5,
                                            .IndentSpace = 20,
                                            .HeaderPosition = 2}));
        LoadStyleControls(controls, wild, true);
        QCOMPARE(controls.HeaderPosition, -1);
        // "Custom" chosen after a preset keeps that preset's values.
        LoadStyleControls(controls, ListStylePresets()[5], false);
        controls.StylePosition = CustomPreset;
        TListStyle expected = ListStylePresets()[5];
        expected.Preset = CustomPreset;
        expected.Name.clear();
        expected.IsHeader = false;
        expected.Header = -1;
        QCOMPARE(ReadStyleControls(controls), expected);
    }

    void controlStates_data()
    {
        QTest::addColumn<int>("indentMode");
        QTest::addColumn<bool>("tree");
        QTest::addColumn<bool>("header");
        QTest::addColumn<bool>("indentSpace");
        QTest::addColumn<bool>("folderItem");
        QTest::addColumn<bool>("headerList");
        QTest::newRow("list, tab, no header") << 0 << false << false << false << true << false;
        QTest::newRow("list, spaces, header") << 1 << false << true << true << true << true;
        QTest::newRow("tree, none") << 2 << true << false << false << false << false;
        QTest::newRow("tree, spaces") << 1 << true << true << true << false << true;
    }
    void controlStates()
    {
        QFETCH(int, indentMode);
        QFETCH(bool, tree);
        QFETCH(bool, header);
        TStyleControls controls;
        controls.IndentMode = indentMode;
        controls.Tree = tree;
        controls.Header = header;
        const TStyleControlStates states = StyleControlStates(controls);
        QTEST(states.IndentSpace, "indentSpace");
        QTEST(states.FolderItem, "folderItem");
        QTEST(states.HeaderList, "headerList");
    }

    // The preview shown a piece at a time reads as the lines at every step, whatever the walk
    // took back in between.
    void previewRefreshedInPieces()
    {
        TPreviewLines lines;
        QTextDocument document;
        qsizetype shown = 0;
        const auto refresh = [&] {
            shown = RefreshPreview(document, shown, lines);
            QCOMPARE(document.toPlainText(), linesOf(lines).join(u'\n'));
        };
        refresh();
        for (const char16_t* line : {u"a", u"b", u"c"})
            lines.AppendLine(line);
        refresh();
        lines.AppendLine(u"d");
        lines.AppendLine(u"e");
        refresh();
        lines.TruncateLines(2); // a folder taken back, others in its place
        lines.AppendLine(u"f");
        refresh();
        lines.TruncateLines(0);
        lines.AppendLine(u"g");
        refresh();
        lines.Reset();
        refresh();
    }

    void previewLinesTakenBack()
    {
        TPreviewLines lines;
        for (const char16_t* line : {u"a", u"b", u"c"})
            lines.AppendLine(line);
        QCOMPARE(lines.TakeUnchangedCount(), 0);
        lines.AppendLine(u"d");
        QCOMPARE(lines.TakeUnchangedCount(), 3);
        // A folder taken back and others written in its place: the count says nothing.
        lines.TruncateLines(1);
        for (const char16_t* line : {u"e", u"f", u"g"})
            lines.AppendLine(line);
        QCOMPARE(lines.TakeUnchangedCount(), 1);
        lines.RemoveLastLine();
        QCOMPARE(lines.TakeUnchangedCount(), 3);
        lines.Reset();
        QCOMPARE(lines.TakeUnchangedCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestStyleRules)
#include "tst_style_rules.moc"
