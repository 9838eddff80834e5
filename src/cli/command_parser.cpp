#include "cli/command_parser.h"

#include "core/text/file_names.h"

#include <optional>
#include <set>

namespace dirka {

namespace {

std::optional<int> encodingCode(const QByteArray& name)
{
    if (name == "utf8bom")
        return SaveCodeUtf8Bom;
    if (name == "utf8")
        return SaveCodeUtf8;
    if (name == "utf16")
        return SaveCodeUnicode;
    return std::nullopt;
}

QString decoded(const QByteArray& arg)
{
    return DecodeFileName(arg.constData(), arg.size());
}

// Reads the options of --list one by one; the first refusal ends the reading.
class TListParser {
public:
    explicit TListParser(const QByteArrayList& arguments) : m_args(arguments) {}

    std::variant<TParsedCommand, TUsageError> Parse()
    {
        for (m_next = 0; m_next < m_args.size() && m_error.isEmpty();)
            option(m_args[m_next++]);
        if (m_error.isEmpty())
            checkCombination();
        if (!m_error.isEmpty())
            return TUsageError{m_error};
        const bool compare = m_given.contains("--compare");
        return TParsedCommand{compare ? TCommandMode::Compare : TCommandMode::List, m_command};
    }

private:
    void option(const QByteArray& arg)
    {
        TListCommand& c = m_command;
        if (arg == "--list") {
            if (const auto value = takeValue(arg))
                c.Location = decoded(*value);
        } else if (arg == "--compare") {
            if (const auto value = takeValue(arg))
                c.Location = decoded(*value);
            if (const auto value = takeSecondValue())
                c.CompareWith = decoded(*value);
        } else if (arg == "--set") {
            if (const auto value = takeValue(arg))
                set(QString::fromUtf8(*value));
        } else if (arg == "--output") {
            if (const auto value = takeFile(arg))
                c.OutputFile = *value;
        } else if (arg == "--encoding") {
            if (const auto value = takeValue(arg))
                encoding(*value);
        } else if (arg == "--m3u8") {
            if (const auto value = takeFile(arg))
                c.PlaylistFile = *value;
        } else if (arg == "--html") {
            if (const auto value = takeFile(arg))
                c.PageFile = *value;
        } else if (arg == "--csv") {
            if (const auto value = takeFile(arg))
                c.CsvFile = *value;
        } else if (arg == "--json") {
            if (const auto value = takeFile(arg))
                c.JsonFile = *value;
        } else if (arg == "--html-prefix") {
            if (const auto value = takeValue(arg))
                c.PagePrefix = QString::fromUtf8(*value);
        } else if (arg == "--html-full" && once(arg)) {
            c.PageFullLinks = true;
        } else if (arg == "--html-link-folders" && once(arg)) {
            c.PageLinkFolders = true;
        } else if (arg == "--csv-raw" && once(arg)) {
            c.CsvRaw = true;
        } else if (m_error.isEmpty()) {
            m_error = QStringLiteral("unknown argument");
        }
    }

    // A repeated option would silently lose its first value.
    bool once(const QByteArray& flag)
    {
        if (flag == "--set" || m_given.insert(flag).second)
            return true;
        m_error = QStringLiteral("an option is given twice");
        return false;
    }

    // A value that looks like an option is one the user forgot ("--html --html-full").
    std::optional<QByteArray> takeValue(const QByteArray& flag)
    {
        if (m_next >= m_args.size() || m_args[m_next].startsWith("--")) {
            m_error = QStringLiteral("an option lacks its value (a value may not begin with "
                                     "\"--\": write ./--name for such a file)");
            return std::nullopt;
        }
        if (!once(flag))
            return std::nullopt;
        return m_args[m_next++];
    }

    std::optional<QByteArray> takeSecondValue()
    {
        if (!m_error.isEmpty())
            return std::nullopt;
        if (m_next >= m_args.size() || m_args[m_next].startsWith("--")) {
            m_error = QStringLiteral("--compare takes two locations, OLD and NEW");
            return std::nullopt;
        }
        return m_args[m_next++];
    }

    std::optional<QString> takeFile(const QByteArray& flag)
    {
        const std::optional<QByteArray> value = takeValue(flag);
        if (!value)
            return std::nullopt;
        if (value->isEmpty()) {
            m_error = QStringLiteral("a file name may not be empty");
            return std::nullopt;
        }
        return decoded(*value);
    }

    void set(const QString& assignment)
    {
        const qsizetype equals = assignment.indexOf(u'=');
        if (equals <= 0)
            m_error = QStringLiteral("--set takes NAME=VALUE");
        else
            m_command.Sets.emplace_back(assignment.left(equals), assignment.mid(equals + 1));
    }

    void encoding(const QByteArray& name)
    {
        const std::optional<int> code = encodingCode(name);
        if (code)
            m_command.OutputEncoding = *code;
        else
            m_error = QStringLiteral("--encoding takes utf8bom, utf8 or utf16");
    }

    void checkCombination()
    {
        const TListCommand& c = m_command;
        const bool compare = m_given.contains("--compare");
        if (compare && m_given.contains("--list"))
            m_error = QStringLiteral("--list and --compare go alone");
        else if (compare && (m_given.contains("--output") || m_given.contains("--m3u8") ||
                             m_given.contains("--html")))
            m_error = QStringLiteral("--compare writes --csv and --json, not --output, --m3u8 "
                                     "or --html");
        else if (!compare && !m_given.contains("--list"))
            m_error = QStringLiteral("--list takes a location");
        else if (m_given.contains("--encoding") && c.OutputFile.isEmpty())
            m_error = QStringLiteral("--encoding goes with --output");
        else if ((m_given.contains("--html-full") || m_given.contains("--html-prefix") ||
                  m_given.contains("--html-link-folders")) &&
                 c.PageFile.isEmpty())
            m_error =
                QStringLiteral("--html-full, --html-prefix and --html-link-folders go with --html");
        else if (c.CsvRaw && c.CsvFile.isEmpty())
            m_error = QStringLiteral("--csv-raw goes with --csv");
    }

    const QByteArrayList& m_args;
    qsizetype m_next = 0;
    TListCommand m_command;
    std::set<QByteArray> m_given;
    QString m_error;
};

} // namespace

std::variant<TParsedCommand, TUsageError> ParseCommandLine(const QByteArrayList& arguments)
{
    const QByteArray first = arguments.value(0);
    std::optional<TCommandMode> alone;
    if (first == "--help" || first == "-h")
        alone = TCommandMode::Help;
    else if (first == "--version")
        alone = TCommandMode::Version;
    if (alone && arguments.size() > 1)
        return TUsageError{QString::fromLatin1(first) + u" takes no other argument"};
    if (alone)
        return TParsedCommand{*alone, {}};
    if (!first.startsWith("--"))
        return TParsedCommand{}; // the window, with a location or Qt's own options
    return TListParser(arguments).Parse();
}

} // namespace dirka
