#include "core/system/program_info.h"

#include "core/system/file_io.h"

#include "core/text/file_names.h"
#include "core/text/text_utils.h"
#include "version.h"

#include <QStandardPaths>
#include <QSysInfo>

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dirka {

namespace {

TInfo& instance()
{
    static TInfo info;
    return info;
}

struct TLocaleNumber {
    QLocale::Language Language;
    QLocale::Territory Territory;
    std::uint16_t Id;
};

// The first entry of a language is its primary locale, used for territories not listed.
constexpr TLocaleNumber LocaleNumbers[] = {
    {QLocale::English, QLocale::UnitedStates, 0x0409},
    {QLocale::English, QLocale::UnitedKingdom, 0x0809},
    {QLocale::English, QLocale::Australia, 0x0C09},
    {QLocale::English, QLocale::Canada, 0x1009},
    {QLocale::English, QLocale::NewZealand, 0x1409},
    {QLocale::English, QLocale::Ireland, 0x1809},
    {QLocale::Polish, QLocale::Poland, 0x0415},
    {QLocale::German, QLocale::Germany, 0x0407},
    {QLocale::German, QLocale::Switzerland, 0x0807},
    {QLocale::German, QLocale::Austria, 0x0C07},
    {QLocale::French, QLocale::France, 0x040C},
    {QLocale::French, QLocale::Belgium, 0x080C},
    {QLocale::French, QLocale::Canada, 0x0C0C},
    {QLocale::French, QLocale::Switzerland, 0x100C},
    {QLocale::Spanish, QLocale::Spain, 0x0C0A},
    {QLocale::Spanish, QLocale::Mexico, 0x080A},
    {QLocale::Italian, QLocale::Italy, 0x0410},
    {QLocale::Dutch, QLocale::Netherlands, 0x0413},
    {QLocale::Dutch, QLocale::Belgium, 0x0813},
    {QLocale::Portuguese, QLocale::Brazil, 0x0416},
    {QLocale::Portuguese, QLocale::Portugal, 0x0816},
    {QLocale::Czech, QLocale::CzechRepublic, 0x0405},
    {QLocale::Slovak, QLocale::Slovakia, 0x041B},
    {QLocale::Hungarian, QLocale::Hungary, 0x040E},
    {QLocale::Russian, QLocale::Russia, 0x0419},
    {QLocale::Ukrainian, QLocale::Ukraine, 0x0422},
    {QLocale::Danish, QLocale::Denmark, 0x0406},
    {QLocale::Swedish, QLocale::Sweden, 0x041D},
    {QLocale::NorwegianBokmal, QLocale::Norway, 0x0414},
    {QLocale::Finnish, QLocale::Finland, 0x040B},
    {QLocale::Greek, QLocale::Greece, 0x0408},
    {QLocale::Turkish, QLocale::Turkey, 0x041F},
    {QLocale::Romanian, QLocale::Romania, 0x0418},
    {QLocale::Bulgarian, QLocale::Bulgaria, 0x0402},
    {QLocale::Croatian, QLocale::Croatia, 0x041A},
    {QLocale::Slovenian, QLocale::Slovenia, 0x0424},
    {QLocale::Lithuanian, QLocale::Lithuania, 0x0427},
    {QLocale::Latvian, QLocale::Latvia, 0x0426},
    {QLocale::Estonian, QLocale::Estonia, 0x0425},
    {QLocale::Japanese, QLocale::Japan, 0x0411},
    {QLocale::Chinese, QLocale::China, 0x0804},
    {QLocale::Chinese, QLocale::Taiwan, 0x0404},
    {QLocale::Korean, QLocale::SouthKorea, 0x0412},
    {QLocale::Hebrew, QLocale::Israel, 0x040D},
};

// The running executable as raw bytes, so a name that is not UTF-8 still finds the file.
QByteArray executablePath()
{
    char buffer[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    return length > 0 ? QByteArray(buffer, length) : QByteArray();
}

std::int32_t fileSize(const QByteArray& path)
{
    struct stat facts;
    if (path.isEmpty() || ::stat(path.constData(), &facts) != 0)
        return 0;
    return static_cast<std::int32_t>(facts.st_size); // the record keeps 32 bits
}

QString folderOf(const QString& path)
{
    return path.left(path.lastIndexOf(PathDelimiter) + 1);
}

// Empty stays empty: "/" would turn a pseudo-location into the whole file system.
QString specialFolder(QStandardPaths::StandardLocation location)
{
#ifndef Q_OS_WIN
    // Without a home the user-dirs file's "$HOME/Desktop" would name "/Desktop", and a
    // "$HOME" entry the whole file system.
    if (!qgetenv("HOME").startsWith('/'))
        return {};
#endif
    const QString path = QStandardPaths::writableLocation(location);
    return path.isEmpty() ? QString() : IncludeTrailingChar(path, PathDelimiter);
}

TFileVersionInfo programVersionInfo()
{
    TFileVersionInfo v;
    v.CompanyName = QStringLiteral("Pelmora");
    v.FileDescription = QStringLiteral("Dirka - Create file list");
    v.FileVersion = QString::fromLatin1(VersionText);
    v.InternalName = QStringLiteral("dirka");
    v.OriginalFilename = QStringLiteral("dirka");
    v.ProductName = QStringLiteral("Dirka");
    v.ProductVersion = QStringLiteral("%1.%2").arg(VersionMajor).arg(VersionMinor);
    return v;
}

} // namespace

const TInfo& Info()
{
    return instance();
}

void CollectInfo()
{
    TInfo info;
    const QByteArray exe = executablePath();
    info.FileSize = fileSize(exe);
    info.ProgramFolder = ProgramFolderOf(folderOf(DecodeFileName(exe)));
    info.PersonalFolder = specialFolder(QStandardPaths::DocumentsLocation);
    info.DesktopFolder = specialFolder(QStandardPaths::DesktopLocation);
    info.ProgramFilesFolder = QStringLiteral("/usr/bin/");
    info.WindowsVersion = KernelVersionText(QSysInfo::kernelType(), QSysInfo::kernelVersion());
    info.VersionInfo = programVersionInfo();
    info.LocaleId = LocaleIdOf(QLocale());
    info.LanguageCode = LanguageCodeOf(info.LocaleId);
    info.WebQuery = WebQueryOf(info.VersionInfo.FileVersion, info.LocaleId);
    instance() = info;
}

void ReplaceInfo(const TInfo& info)
{
    instance() = info;
}

QString ProgramFolderOf(const QString& executableFolder)
{
    if (executableFolder.isEmpty() || IsExistingFolder(executableFolder + u"help"))
        return executableFolder;
    // "bin/" of an installed copy: its parent, then share/dirka/ (the real path, no "..").
    const QString parent = folderOf(executableFolder.chopped(1));
    const QString base = parent.isEmpty() ? executableFolder : parent;
    return base + u"share" + PathDelimiter + u"dirka" + PathDelimiter;
}

std::uint16_t LocaleIdOf(const QLocale& locale)
{
    const TLocaleNumber* primary = nullptr;
    for (const TLocaleNumber& entry : LocaleNumbers) {
        if (entry.Language != locale.language())
            continue;
        if (entry.Territory == locale.territory())
            return entry.Id;
        if (!primary)
            primary = &entry;
    }
    return primary ? primary->Id : 0x0409;
}

QString LanguageCodeOf(std::uint16_t localeId)
{
    return localeId == 0x0415 ? QStringLiteral("pl") : QStringLiteral("us");
}

QString WebQueryOf(QStringView fileVersion, std::uint16_t localeId)
{
    return u"&ver=" + fileVersion.toString() + u"&lng=" + WordToHex(localeId);
}

QString KernelVersionText(QStringView kernelType, QStringView kernelVersion)
{
    QString type = kernelType.toString();
    if (!type.isEmpty())
        type[0] = type[0].toUpper();
    qsizetype end = 0;
    while (end < kernelVersion.size() &&
           (kernelVersion[end].isDigit() || kernelVersion[end] == u'.'))
        ++end;
    while (end > 0 && kernelVersion[end - 1] == u'.')
        --end;
    const QStringView number = end > 0 ? kernelVersion.first(end) : kernelVersion;
    return type + u' ' + number.toString();
}

} // namespace dirka
