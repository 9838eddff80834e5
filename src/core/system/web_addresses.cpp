#include "core/system/web_addresses.h"

namespace dirka {

namespace {

QString actionWord(TWebAction action)
{
    switch (action) {
    case TWebAction::Help:
        return QStringLiteral("help");
    case TWebAction::Version:
        return QStringLiteral("version");
    case TWebAction::Support:
        return QStringLiteral("support");
    case TWebAction::Website:
        return QStringLiteral("website");
    }
    return {};
}

} // namespace

QString SiteRoot()
{
    QString root = qEnvironmentVariable("DIRKA_SITE_ROOT");
    if (root.isEmpty())
        root = QStringLiteral("https://www.pelmora.example/");
    if (!root.endsWith(u'/'))
        root += u'/';
    return root;
}

QString ProductPageAddress(TWebAction action, const TInfo& info)
{
    return SiteRoot() + u"dirka/?act=" + actionWord(action) + info.WebQuery;
}

QString MakerPageAddress()
{
    return SiteRoot();
}

QString ExportGeneratorAddress()
{
    return SiteRoot();
}

QString ExportFooterAddress(const TInfo& info)
{
    return SiteRoot() + info.LanguageCode + u"_Dirka.html";
}

QString BugReportAddress(QStringView query)
{
    return SiteRoot() + u"cgi/send_bug.cgi?" + query.toString();
}

} // namespace dirka
