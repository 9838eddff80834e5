#pragma once

#include <QStringView>

namespace dirka {

/// First occurrence beginning at or after start (1-based), 0 if none:
/// FindTextForward(u"Rok", u"ba-roK.i", false, 1, true) == 4
qsizetype FindTextForward(QStringView pattern, QStringView text, bool caseSensitive,
                          qsizetype start, bool wholeWords);

/// Last occurrence beginning at or before start (1-based), 0 if none:
/// FindTextBackward(u"Rok", u"ba-roK.i", false, 8, true) == 4
qsizetype FindTextBackward(QStringView pattern, QStringView text, bool caseSensitive,
                           qsizetype start, bool wholeWords);

} // namespace dirka
