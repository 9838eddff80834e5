#include "core/settings/settings_records.h"

namespace dirka {

namespace {

QStringList fromUtf8List(std::initializer_list<const char*> texts)
{
    QStringList list;
    for (const char* t : texts)
        list << QString::fromUtf8(t);
    return list;
}

template <std::size_t N> std::array<QString, N> toArray(std::initializer_list<const char*> texts)
{
    std::array<QString, N> result;
    std::size_t i = 0;
    for (const char* t : texts)
        result[i++] = QString::fromUtf8(t);
    return result;
}

TListStyle preset(int index, const char* name, int mode, bool newLine, bool summary, int base,
                  int folder, int file, int indentMode)
{
    TListStyle s;
    s.Preset = index;
    s.Name = QString::fromUtf8(name);
    s.Mode = mode;
    s.IsNewLine = newLine;
    s.IsSkip = true;
    s.IsSummary = summary;
    s.Base = base;
    s.Folder = folder;
    s.File = file;
    s.Separator = 0;
    s.IndentMode = indentMode;
    s.IndentSpace = 3;
    s.SortMode = 1;
    return s;
}

} // namespace

void SetDefaultStyle(TListStyle& style)
{
    style = TListStyle();
}

void SetDefaultSettings(TSettings& settings)
{
    settings = TSettings();
}

const std::array<QString, FilterCount>& DefaultFilterMasks()
{
    static const auto masks = toArray<FilterCount>({
        "",
        "Thumbs.db|*.bak|*.lnk|*.~*",
        "|",
        "*.jpg|*.jpeg",
        "*.mp3|*.aac|*.m4a|*.wma",
        "|",
        "*.7z|*.arc|*.arj|*.bzip2|*.cab|*.chm|*.cpio|*.gz|*.gzip|*.iso|*.lzh|*.msi|*.rar|*.rpm|"
        "*.sea|*.sit|*.sitx|*.tar|*.wim|*.z|*.zip",
        "*.aac|*.ac3|*.aif|*.aif|*.aiff|*.ape|*.atrac|*.au|*.au|*.dss|*.dts|*.dvf|*.flac|*.gsm|"
        "*.iff|*.m4a|*.m4p|*.mid|*.midi|*.mka|*.mp1|*.mp2|*.mp3|*.mpa|*.msv|*.ogg|*.oma|*.omg|"
        "*.ra|*.ram|*.vox|*.wav|*.wma",
        "*.abw|*.doc|*.docx|*.dot|*.mdb|*.mde|*.odb|*.odc|*.odf|*.odg|*.odi|*.odm|*.odp|*.ods|"
        "*.odt|*.pdf|*.pot|*.ppt|*.pptx|*.ps|*.qxd|*.qxp|*.rtf|*.xls|*.xlsx|*.xlt",
        "*.bat|*.com|*.exe",
        "*.ai|*.bmp|*.dds|*.drw|*.dxf|*.eps|*.gif|*.icn|*.ico|*.icon|*.indd|*.j2c|*.j2k|*.jfi|"
        "*.jfif|*.jif|*.jiff|*.jng|*.jp2|*.jpc|*.jpe|*.jpeg|*.jpf|*.jpg|*.jpx|*.jtf|*.mng|*.pct|"
        "*.pdn|*.png|*.psd|*.psp|*.svg|*.tga|*.tif|*.tiff|*.xbm",
        "*.asx|*.b4s|*.m3u|*.m3u8|*.pls|*.wax|*.wmx|*.wpl|*.xspf",
        "*.adb|*.ada|*.ads|*.asm|*.bas|*.bb|*.bmx|*.c|*.cbl|*.cc|*.cgi|*.cls|*.cob|*.cpp|*.cs|"
        "*.csproj|*.cxx|*.d|*.dpr|*.e|*.efs|*.egt|*.el|*.f|*.f77|*.f90|*.for|*.frm|*.frx|*.ftn|"
        "*.ged|*.gm6|*.gmd|*.gmk|*.gml|*.h|*.hpp|*.hs|*.hxx|*.inc|*.java|*.js|*.jsp|*.l|*.lisp|"
        "*.m|*.m4|*.ml|*.n|*.p|*.pas|*.php|*.php3|*.php4|*.php5|*.phps|*.phtml|*.piv|*.pl|*.pm|"
        "*.pp|*.prg|*.py|*.rc|*.rc2|*.resx|*.s|*.sce|*.sci|*.scm|*.skb|*.skc|*.skd|*.skf|*.skg|"
        "*.ski|*.skk|*.skm|*.sko|*.skp|*.skq|*.sks|*.skt|*.skz|*.sln|*.spin|*.stk|*.vap|*.vb|"
        "*.vbg|*.vbp|*.vbproj|*.vbs|*.vcproj|*.vdproj|*.vip|*.y",
        "*.log|*.txt",
        "*.3gp|*.asf|*.avi|*.divx|*.dv|*.flv|*.m1v|*.m2ts|*.m2v|*.m4v|*.mkv|*.mov|*.mp4|*.mpe|"
        "*.mpeg|*.mpg|*.mts|*.ogm|*.qt|*.rm|*.ts|*.vob|*.wmv",
        "*.asp|*.chm|*.css|*.dhtml|*.htm|*.html|*.jhtml|*.js|*.jsp|*.jspx|*.mht|*.mhtml|*.php|"
        "*.php3|*.php4|*.php5|*.phtml|*.rhtml|*.rjs|*.sht|*.shtm|*.shtml|*.xht|*.xhtml",
        "|",
        "",
        "",
        "",
        "",
    });
    return masks;
}

const std::array<QString, FilterCount>& FilterEntryTexts()
{
    static const auto texts = toArray<FilterCount>({
        "All files",       "Most files",
        "---------------", "JPG/JPEG",
        "MP3 & Similar",   "---------------",
        "Archive",         "Audio",
        "Documents",       "Executable",
        "Pictures",        "Playlist",
        "Programming",     "Text",
        "Video",           "Web",
        "---------------", "User defined 1",
        "User defined 2",  "User defined 3",
        "User defined 4",
    });
    return texts;
}

const std::array<TListStyle, PresetCount>& ListStylePresets()
{
    static const std::array<TListStyle, PresetCount> presets = {
        preset(0, "List - simple", 0, true, true, 10, 3, 1, 2),
        preset(1, "List - rich", 0, true, true, 10, 4, 3, 2),
        preset(2, "List - simple, indent", 0, true, true, 10, 3, 1, 0),
        preset(3, "List - rich, indent", 0, true, true, 10, 4, 3, 0),
        preset(4, "Tree - simple ", 1, true, true, 7, 3, 1, 0),
        preset(5, "Tree - rich", 1, true, true, 8, 3, 3, 0),
        preset(6, "Files, full path", 0, false, false, 0, 0, 10, 2),
        preset(7, "Files, separated", 0, true, false, 0, 0, 10, 2),
        preset(8, "Folders, full path", 0, false, false, 10, 0, 0, 2),
        preset(9, "Folders, summarized", 0, true, true, 10, 0, 0, 2),
    };
    return presets;
}

TListStyle ApplyPreset(const TListStyle& stored)
{
    if (stored.Preset < 0 || stored.Preset >= PresetCount)
        return stored;
    TListStyle style = ListStylePresets()[stored.Preset];
    style.IsHeader = stored.IsHeader;
    style.Header = stored.Header;
    return style;
}

const QStringList& FolderItemChoices()
{
    static const QStringList items = fromUtf8List({
        "Hide",
        "Name",
        "Name\\",
        "<Name>",
        "\"<DIR>\" + Name",
        "\"Folder\" + Name",
        "Relative path",
        "<Relative path>",
        "\"<DIR>\" + Relative path",
        "\"Folder\" + Relative path",
        "Full path",
    });
    return items;
}

const QStringList& FileItemChoices()
{
    static const QStringList items = fromUtf8List({
        "Hide",
        "Name",
        "Name + Size",
        "Size + Name",
        "\"File\" + Name",
        "\"File\" + Name + Size",
        "\"File\" + Size + Name",
        "Relative path",
        "Relative path + Size",
        "Size + Relative path",
        "Full path",
        "Full path + Size",
        "Size + Full path",
    });
    return items;
}

const QStringList& SortModeChoices()
{
    static const QStringList items = fromUtf8List({
        "Don't sort",
        "Name",
        "Extension",
        "Size, biggest on top",
        "Size, smallest on top",
        "Random",
    });
    return items;
}

const QStringList& HeaderChoices()
{
    static const QStringList items = fromUtf8List({
        "Time only",
        "Search for only",
        "Location only",
        "Time + Search for",
        "Time + Location",
        "Time + Search for + Location",
        "Search for + Location",
        "Full",
    });
    return items;
}

} // namespace dirka
