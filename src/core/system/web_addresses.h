#pragma once

#include "core/system/program_info.h"

#include <QString>
#include <QStringView>

// Every address on the maker's web site is built here. The site root is
// "https://www.pelmora.example/", or the environment variable DIRKA_SITE_ROOT when it is set
// (tests point it at a local server).
namespace dirka {

/// The product page commands: Online Help, Check Latest Version, Feedback and Support, and the
/// program's web page.
enum class TWebAction { Help, Version, Support, Website };

/// The site root, always ending in "/": "https://www.pelmora.example/"
QString SiteRoot();

/// ProductPageAddress(TWebAction::Help) ==
/// "https://www.pelmora.example/dirka/?act=help&ver=2.1.0.37&lng=0415"
QString ProductPageAddress(TWebAction action, const TInfo& info = Info());

/// The maker's page, the site root alone (the maker's name links to it).
QString MakerPageAddress();

/// The HTML export's generator meta line carries the site root.
QString ExportGeneratorAddress();

/// The HTML export's footer link: "https://www.pelmora.example/pl_Dirka.html"
QString ExportFooterAddress(const TInfo& info = Info());

/// The bug report's GET address for an already encoded query ("p=...&v=...&...").
/// BugReportAddress("p=Dirka") == "https://www.pelmora.example/cgi/send_bug.cgi?p=Dirka"
QString BugReportAddress(QStringView query);

} // namespace dirka
