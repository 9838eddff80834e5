#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

#include <cstdint>

// Facts about the program and the machine, gathered once at start-up into one process-wide
// record that is read-only afterwards.
namespace dirka {

/// The text entries of the program's version data (compiled in).
struct TFileVersionInfo {
    QString CompanyName;
    QString FileDescription;
    QString FileVersion; // "2.1.0.37"
    QString InternalName;
    QString LegalCopyright;
    QString LegalTrademarks;
    QString OriginalFilename;
    QString ProductName;
    QString ProductVersion;
    QString Comments;
};

/// Program information. Folder fields end in the path delimiter; a special folder that cannot
/// be determined stays empty, so a pseudo-location naming it is refused.
struct TInfo {
    std::int32_t FileSize = 0;  // of the running executable; 0 when it cannot be found
    QString ProgramFolder;      // "/opt/dirka/bin/"
    QString PersonalFolder;     // the user's documents folder, "/home/ann/Documents/"
    QString DesktopFolder;      // "/home/ann/Desktop/"
    QString ProgramFilesFolder; // "/usr/bin/"
    QString WindowsVersion;     // kernel type and version, "Linux 6.1.0"
    TFileVersionInfo VersionInfo;
    std::uint16_t LocaleId = 0; // Windows locale number of QLocale(), 0x0415 for Polish
    QString LanguageCode;       // "pl" or "us"
    QString WebQuery;           // "&ver=2.1.0.37&lng=0415" (ASCII)
};

/// The process-wide record; empty until CollectInfo() has run.
const TInfo& Info();

/// Fills the process-wide record; called once at start-up, after the self-test. Calling it
/// again gathers everything anew (tests change the default locale or folders first).
void CollectInfo();

/// Replaces the process-wide record; for tests that need known folders.
void ReplaceInfo(const TInfo& info);

/// The folder of the program's own files (help/, audio/) from the executable's folder (ending
/// in the delimiter): that folder itself when a help/ folder sits beside the executable (the
/// build tree, a portable copy), otherwise share/dirka/ beside its parent (an installed copy):
/// ProgramFolderOf(u"/usr/bin/") == "/usr/share/dirka/" while /usr/bin/help does not exist.
/// An empty folder (the executable unknown) stays empty.
QString ProgramFolderOf(const QString& executableFolder);

/// The Windows locale number of a locale from a table of common ones, 0x0409 when unknown:
/// LocaleIdOf(QLocale(QLocale::Polish, QLocale::Poland)) == 0x0415
std::uint16_t LocaleIdOf(const QLocale& locale);

/// LanguageCodeOf(1045) == "pl"; every other number gives "us".
QString LanguageCodeOf(std::uint16_t localeId);

/// WebQueryOf(u"2.1.0.37", 1031) == "&ver=2.1.0.37&lng=0407"
QString WebQueryOf(QStringView fileVersion, std::uint16_t localeId);

/// "Linux 6.1.0" from QSysInfo's "linux" and "6.1.0-18-amd64".
QString KernelVersionText(QStringView kernelType, QStringView kernelVersion);

} // namespace dirka
