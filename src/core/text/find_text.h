#pragma once

#include <QStringView>

namespace dirka {

class TCompactText;

/// First occurrence beginning at or after start (1-based), 0 if none:
/// FindTextForward(u"Rok", u"ba-roK.i", false, 1, true) == 4
qsizetype FindTextForward(QStringView pattern, QStringView text, bool caseSensitive,
                          qsizetype start, bool wholeWords);

/// Last occurrence beginning at or before start (1-based), 0 if none:
/// FindTextBackward(u"Rok", u"ba-roK.i", false, 8, true) == 4
qsizetype FindTextBackward(QStringView pattern, QStringView text, bool caseSensitive,
                           qsizetype start, bool wholeWords);

/// Where Find Next or Find Back lands in a text whose selection starts at the 0-based
/// selectionStart and spans selectionLength units.
struct TFindStep {
    qsizetype Start = -1; // 0-based start of the occurrence to select, -1 when none was found
    bool Beep = false;    // the search went past the end (or start), or found nothing
};

/// Find Next searches from one unit past the selection's start (so overlapping occurrences
/// come one after the other), Find Back from before it; each wraps around once:
/// FindStep(u"aaa", u"aa", 1, 2, {}) == {.Start = 0, .Beep = true}
struct TFindOptions {
    bool CaseSensitive = false;
    bool WholeWords = false;
    bool Backward = false;
};
TFindStep FindStep(QStringView text, QStringView pattern, qsizetype selectionStart,
                   qsizetype selectionLength, TFindOptions options);
/// The same in lines joined by CR LF, a line at a time.
TFindStep FindStep(const TCompactText& text, QStringView pattern, qsizetype selectionStart,
                   qsizetype selectionLength, TFindOptions options);

} // namespace dirka
