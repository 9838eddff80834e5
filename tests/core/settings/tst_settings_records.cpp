#include "core/settings/settings_records.h"

#include <QTest>

using namespace dirka;

class TestSettingsRecords : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void defaults()
    {
        TSettings s;
        s.MaxDepth = 1;
        s.Style.Mode = 1;
        s.FilterMask[3].clear();
        SetDefaultSettings(s);
        QCOMPARE(s.MaxDepth, 9);
        QVERIFY(!s.IsMaxDepth && !s.IsHiddenFiles && !s.IsSystemFiles && !s.IsCopy);
        QVERIFY(s.IsClear && s.IsSound);
        QCOMPARE(s.PathList, QString());
        QCOMPARE(s.PathSave, QStringLiteral("<Desktop>"));
        QCOMPARE(s.Filter, 0);
        QCOMPARE(s.FilterMask, DefaultFilterMasks());
        TListStyle style;
        SetDefaultStyle(style);
        QCOMPARE(s.Style, style);
        QCOMPARE(style.Preset, 0);
        QCOMPARE(style.Base, 9);
        QCOMPARE(style.Folder, 2);
        QCOMPARE(style.File, 1);
        QCOMPARE(style.IndentSpace, 3);
        QCOMPARE(style.SortMode, 1);
        QCOMPARE(style.Header, 7);
        QVERIFY(style.IsHeader && style.IsNewLine && style.IsSkip && style.IsSummary);
    }

    void filterEntries()
    {
        const auto& masks = DefaultFilterMasks();
        const auto& texts = FilterEntryTexts();
        for (int i : {2, 5, 16}) {
            QCOMPARE(masks[i], QStringLiteral("|"));
            QCOMPARE(texts[i], QStringLiteral("---------------"));
        }
        QCOMPARE(masks[0], QString());
        QCOMPARE(masks[1], QStringLiteral("Thumbs.db|*.bak|*.lnk|*.~*"));
        QCOMPARE(texts[4], QStringLiteral("MP3 & Similar"));
        QCOMPARE(texts[20], QStringLiteral("User defined 4"));
        QVERIFY(masks[7].startsWith(u"*.aac|*.ac3|*.aif|*.aif|*.aiff|"));
        QCOMPARE(masks[7].count(u'|'), 32);
        QCOMPARE(masks[12].count(u'|'), 96);
        QVERIFY(masks[12].endsWith(u"|*.vip|*.y"));
        QCOMPARE(masks[13], QStringLiteral("*.log|*.txt"));
        for (int i = 17; i <= 20; ++i)
            QCOMPARE(masks[i], QString());
    }

    void presets()
    {
        const auto& p = ListStylePresets();
        for (int i = 0; i < PresetCount; ++i) {
            QCOMPARE(p[i].Preset, i);
            QVERIFY(p[i].IsSkip);
            QCOMPARE(p[i].Separator, 0);
            QCOMPARE(p[i].IndentSpace, 3);
            QCOMPARE(p[i].SortMode, 1);
        }
        QCOMPARE(p[4].Name, QStringLiteral("Tree - simple "));
        QCOMPARE(p[5].Base, 8);
        QCOMPARE(p[6].File, 10);
        QVERIFY(!p[8].IsNewLine && !p[8].IsSummary);
        QCOMPARE(p[9].Name, QStringLiteral("Folders, summarized"));
    }

    void applyPreset_data()
    {
        QTest::addColumn<int>("preset");
        QTest::addColumn<bool>("usesTable");
        QTest::newRow("first") << 0 << true;
        QTest::newRow("tree simple") << 4 << true;
        QTest::newRow("last") << 9 << true;
        QTest::newRow("custom") << 10 << false;
        QTest::newRow("negative") << -1 << false;
        QTest::newRow("too big") << 11 << false;
    }
    void applyPreset()
    {
        QFETCH(int, preset);
        QFETCH(bool, usesTable);
        TListStyle stored;
        stored.Preset = preset;
        stored.Mode = 0;
        stored.IndentSpace = 7;
        stored.Separator = 1;
        stored.IsHeader = false;
        stored.Header = 2;
        const TListStyle used = ApplyPreset(stored);
        QCOMPARE(used.IsHeader, false);
        QCOMPARE(used.Header, 2);
        if (usesTable) {
            TListStyle expected = ListStylePresets()[preset];
            expected.IsHeader = false;
            expected.Header = 2;
            QCOMPARE(used, expected);
        } else {
            QCOMPARE(used, stored);
        }
    }

    void choiceLists()
    {
        QCOMPARE(FolderItemChoices().size(), 11);
        QCOMPARE(FolderItemChoices()[2], QStringLiteral("Name\\"));
        QCOMPARE(FolderItemChoices()[4], QStringLiteral("\"<DIR>\" + Name"));
        QCOMPARE(FileItemChoices().size(), 13);
        QCOMPARE(FileItemChoices()[12], QStringLiteral("Size + Full path"));
        QCOMPARE(SortModeChoices().size(), 6);
        QCOMPARE(SortModeChoices()[0], QStringLiteral("Don't sort"));
        QCOMPARE(HeaderChoices().size(), 8);
        QCOMPARE(HeaderChoices()[7], QStringLiteral("Full"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsRecords)
#include "tst_settings_records.moc"
