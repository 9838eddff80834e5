#pragma once

#include "core/system/program_info.h"

#include <QString>
#include <QStringList>
#include <QStringView>

// Turning location texts into folder paths: "|"-separated lists, the pseudo-locations
// "<Desktop>", "<My Documents>" and "<Program Files>", and annotations such as "  <CD/DVD>".
namespace dirka {

/// The pseudo-location texts, as the location list offers them.
inline constexpr char16_t DesktopLocationText[] = u"<Desktop>";
inline constexpr char16_t DocumentsLocationText[] = u"<My Documents>";
inline constexpr char16_t ProgramFilesLocationText[] = u"<Program Files>";

/// The folder meant by the first location of text, ending in the delimiter, or empty.
/// ResolveLocation(u"<desktop>Photos") == Info().DesktopFolder + "Photos/";
/// ResolveLocation(u"/media/cd  <CD/DVD>") == "/media/cd/"; ResolveLocation(u"<Temp>") == "".
/// A relative result is made absolute against the working folder (links are not resolved); a
/// pseudo-location whose folder is unknown (empty in info) gives the empty text.
QString ResolveLocation(QStringView text, const TInfo& info = Info());

/// Each "|"-separated field resolved, each followed by CR LF; an empty field gives an empty
/// line: ResolveLocationList(u"/a|") == "/a/\r\n\r\n"
QString ResolveLocationList(QStringView text, const TInfo& info = Info());

/// The lines of ResolveLocationList as a list, one per field: ResolveLocations(u"/a|") ==
/// {"/a/", ""}
QStringList ResolveLocations(QStringView text, const TInfo& info = Info());

} // namespace dirka
