#pragma once

// Small helpers shared by the core tests.

#include "core/listing/result_line_store.h"
#include "core/listing/result_text.h"

#include <QByteArray>
#include <QFile>
#include <QLocale>
#include <QString>
#include <QStringView>

namespace testsupport {

/// u16(u"Łódź"): a QString from a UTF-16 literal, for data rows.
inline QString u16(const char16_t* s)
{
    return QStringView(s).toString();
}

/// The whole file, or "<unreadable>" so a missing file never equals expected bytes.
inline QByteArray readAll(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

/// Appends a result line and records its item the way the walker does: folder path + name.
inline void addLine(dirka::TResultText& result, QStringView text, QStringView path = {})
{
    const int index = int(result.LineCount());
    result.AppendLine(text);
    if (path.isEmpty())
        return;
    const qsizetype split = path.lastIndexOf(u'/') + 1;
    dirka::TabAdd(index, path.sliced(split), path.first(split));
}

// Pins the default locale for one case and puts the previous one back.
class TLocaleScope {
public:
    explicit TLocaleScope(const QString& name) { QLocale::setDefault(QLocale(name)); }
    ~TLocaleScope() { QLocale::setDefault(m_previous); }

private:
    QLocale m_previous;
};

} // namespace testsupport
