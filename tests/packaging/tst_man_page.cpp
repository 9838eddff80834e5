// The manual page's SETTINGS section against the program's own tables: every name --set takes,
// the presets, the item code lists and the "Search for" entries with their default masks.
#include "core/settings/settings_fields.h"
#include "core/settings/settings_records.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

using namespace dirka;

namespace {

// The page's source with the escapes it uses turned into what they print; requests stay.
QString plainPage()
{
    QFile file(QStringLiteral(DIRKA_MAN_PAGE));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QString text = QString::fromUtf8(file.readAll());
    text.remove(QRegularExpression(QStringLiteral(R"(\\f[BIRP]|\\&|\\:|\\\n)")));
    text.replace(QStringLiteral("\\-"), QStringLiteral("-"));
    text.replace(QStringLiteral("\\(dq"), QStringLiteral("\""));
    text.replace(QStringLiteral("\\e"), QStringLiteral("\\"));
    return text;
}

bool hasMatch(const QString& text, const QString& pattern)
{
    return QRegularExpression(pattern, QRegularExpression::MultilineOption).match(text).hasMatch();
}

QString escaped(const QString& text)
{
    return QRegularExpression::escape(text);
}

} // namespace

class TestManPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        m_page = plainPage();
        QVERIFY2(m_page.contains(u".SH SETTINGS"), DIRKA_MAN_PAGE);
    }

    // Each name is an entry of its own; FilterMask.N stands with its "Search for" entry.
    void everySettingsName()
    {
        for (const TSettingsField& field : SettingsFields()) {
            if (field.Name.startsWith(u"FilterMask."))
                continue;
            QVERIFY2(hasMatch(m_page, u"^\\.B " + escaped(field.Name) + u'$'),
                     qPrintable(field.Name));
        }
    }

    void presetsByNumber()
    {
        for (const TListStyle& preset : ListStylePresets()) {
            const QString entry = QString::number(preset.Preset);
            QVERIFY2(
                hasMatch(m_page, u"^\\.B " + entry + u"\n" + escaped(preset.Name.trimmed()) + u':'),
                qPrintable(preset.Name));
        }
    }

    // Each list is a table of its own, in this order, holding exactly the program's items.
    void itemCodeTables()
    {
        const QList<QStringList> lists = {FolderItemChoices(), FileItemChoices(), SortModeChoices(),
                                          HeaderChoices()};
        const QRegularExpression tables(QStringLiteral("^\\.TS\nl l\\.\n(.*?)\n\\.TE$"),
                                        QRegularExpression::MultilineOption |
                                            QRegularExpression::DotMatchesEverythingOption);
        QStringList found;
        for (const QRegularExpressionMatch& table : tables.globalMatch(m_page))
            found << table.captured(1);
        QCOMPARE(found.size(), lists.size());
        for (qsizetype i = 0; i < lists.size(); ++i) {
            QStringList rows;
            for (qsizetype code = 0; code < lists[i].size(); ++code)
                rows << QString::number(code) + u'\t' + lists[i][code];
            QCOMPARE(found[i], rows.join(u'\n'));
        }
    }

    // "N" then "Name (FilterMask.N+1): " and the default masks, "none" or "a separator.".
    void searchForEntriesWithTheirMasks()
    {
        for (int i = 0; i < FilterCount; ++i) {
            const QString mask = DefaultFilterMasks()[i];
            const QString masks = mask.isEmpty() ? QStringLiteral("none\\b")
                                  : mask == u"|" ? QStringLiteral("a separator\\.")
                                                 : escaped(mask) + u'$';
            const QString entry = u"^\\.B " + QString::number(i) + u"\n" +
                                  escaped(FilterEntryTexts()[i]) + u" \\(FilterMask\\." +
                                  QString::number(i + 1) + u"\\): " + masks;
            QVERIFY2(hasMatch(m_page, entry), qPrintable(FilterEntryTexts()[i]));
        }
    }

private:
    QString m_page;
};

QTEST_GUILESS_MAIN(TestManPage)
#include "tst_man_page.moc"
