#pragma once

// Small helpers shared by the core tests.

#include "core/listing/lines_target.h"
#include "core/listing/result_line_store.h"
#include "core/listing/result_text.h"
#include "core/system/program_info.h"

#include "temp_tree.h"

#include <QByteArray>
#include <QFile>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstring>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace testsupport {

/// u16(u"Łódź"): a QString from a UTF-16 literal, for data rows.
inline QString u16(const char16_t* s)
{
    return QStringView(s).toString();
}

/// The program facts the report tests expect: size 123456, version 2.1.0.37, "Linux 6.1.0".
inline dirka::TInfo testInfo()
{
    dirka::TInfo info;
    info.FileSize = 123456;
    info.VersionInfo.FileVersion = QStringLiteral("2.1.0.37");
    info.WindowsVersion = QStringLiteral("Linux 6.1.0");
    return info;
}

/// The whole file, or "<unreadable>" so a missing file never equals expected bytes.
inline QByteArray readAll(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

/// Every line of a result (or any other lines target), in order.
inline QStringList linesOf(const dirka::TLinesTarget& lines)
{
    QStringList out;
    for (qsizetype i = 0; i < lines.LineCount(); ++i)
        out.append(lines.Line(i).toString());
    return out;
}

/// A result of these lines, none of them with an item.
inline dirka::TResultText resultOf(const QStringList& lines)
{
    dirka::TResultText result;
    for (const QString& line : lines)
        result.AppendLine(line);
    return result;
}

/// Appends a result line and records its item the way the walker does: folder path + name, and
/// a record to be looked up when written unless the line makes none.
inline void addLine(dirka::TResultText& result, QStringView text, QStringView path = {},
                    bool makesRecord = true)
{
    if (path.isEmpty()) {
        result.AppendLine(text);
        return;
    }
    const qsizetype split = path.lastIndexOf(u'/') + 1;
    result.AppendItemLine(text, {path.first(split), path.sliced(split),
                                 makesRecord ? &dirka::NotLookedAtFacts : nullptr});
}

// Pins the default locale for one case (or one test object) and puts the previous one back.
class TLocaleScope {
public:
    explicit TLocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    explicit TLocaleScope(const QString& name) : TLocaleScope(QLocale(name)) {}
    ~TLocaleScope() { QLocale::setDefault(m_previous); }
    TLocaleScope(const TLocaleScope&) = delete;
    TLocaleScope& operator=(const TLocaleScope&) = delete;

private:
    QLocale m_previous;
};

// Root reads and writes every folder whatever its mode. Taking the two override capabilities out
// of this thread's effective set makes modes keep the test out as they keep out any user.
class TWithoutReadOverride {
public:
    TWithoutReadOverride()
    {
        if (::geteuid() != 0) {
            m_active = true;
            return;
        }
        if (::syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2];
        std::memcpy(reduced, m_saved, sizeof reduced);
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_dropped = ::syscall(SYS_capset, &m_header, reduced) == 0;
        m_active = m_dropped;
    }
    ~TWithoutReadOverride()
    {
        if (m_dropped)
            ::syscall(SYS_capset, &m_header, m_saved);
    }
    TWithoutReadOverride(const TWithoutReadOverride&) = delete;
    TWithoutReadOverride& operator=(const TWithoutReadOverride&) = delete;
    /// False when permissions cannot keep this process out: skip the case.
    bool active() const { return m_active; }

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_dropped = false;
    bool m_active = false;
};

} // namespace testsupport
