#include "core/system/error_report.h"

#include "core/system/raise_sites.h"
#include "core/text/text_utils.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <cstdlib>
#include <memory>

namespace dirka {

namespace {

constexpr QStringView CrLf = u"\r\n";
constexpr QStringView AssertionPrefix = u"Assertion failure (";

// "std::ios_base::failure[abi:cxx11]" -> "failure", "(anonymous namespace)::E" -> "E".
QString bareClassName(QString name)
{
    for (qsizetype tag = name.indexOf(u"[abi:"); tag >= 0; tag = name.indexOf(u"[abi:", tag)) {
        const qsizetype end = name.indexOf(u']', tag);
        if (end < 0)
            break;
        name.remove(tag, end - tag + 1);
    }
    // Only a "::" outside template arguments and parentheses separates a qualifier.
    int depth = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        if (c == u'<' || c == u'(')
            ++depth;
        else if ((c == u'>' || c == u')') && depth > 0)
            --depth;
        else if (c == u':' && depth == 0 && i + 1 < name.size() && name[i + 1] == u':')
            start = ++i + 1;
    }
    return name.sliced(start);
}

// An assertion failure names its source file; the folders above it say nothing about the fault
// and would carry the builder's folder names to the maker.
QString reportedMessage(const QString& className, const QString& message)
{
    if (className != u"EAssertionFailed" || !message.startsWith(AssertionPrefix))
        return message;
    // The path ends at the comma before "line n"; stopping at the first comma instead would
    // leave part of a path whose folder name holds one.
    qsizetype comma = message.lastIndexOf(u", line ");
    if (comma < AssertionPrefix.size())
        comma = message.indexOf(u',', AssertionPrefix.size());
    if (comma < 0)
        return message;
    const qsizetype delimiter = message.lastIndexOf(QChar(PathDelimiter), comma);
    if (delimiter < AssertionPrefix.size())
        return message;
    return AssertionPrefix + QStringView(message).sliced(delimiter + 1);
}

} // namespace

void RaiseTestError()
{
    throw EWin32Error("Test Error");
}

QString ErrorClassNameOf(const std::type_info& type)
{
    int status = 0;
    const std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
    return bareClassName(QString::fromUtf8(status == 0 ? demangled.get() : type.name()));
}

TExceptionDetails DetailsOf(std::exception_ptr error)
{
    TExceptionDetails details;
    if (!error)
        return details;
    const void* object = nullptr;
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        details.ErrorClassName = ErrorClassNameOf(typeid(e));
        details.ErrorMessage = QString::fromUtf8(e.what());
        object = dynamic_cast<const void*>(&e);
    } catch (...) {
        if (const std::type_info* type = abi::__cxa_current_exception_type())
            details.ErrorClassName = ErrorClassNameOf(*type);
    }
    // The noted address follows the call into the runtime; one byte back lies inside the call.
    if (const void* site = RaiseSiteOf(object)) {
        details.RaiseAddress = ModuleRelativeAddress(static_cast<const char*>(site) - 1);
        details.FaultAddress = details.RaiseAddress;
    }
    return details;
}

std::uint32_t ModuleRelativeAddress(const void* address)
{
    Dl_info module{};
    if (address == nullptr || ::dladdr(address, &module) == 0 || module.dli_fbase == nullptr)
        return 0;
    return std::uint32_t(reinterpret_cast<std::uintptr_t>(address) -
                         reinterpret_cast<std::uintptr_t>(module.dli_fbase));
}

__attribute__((noinline)) TCallStack CollectCallStack(int skip)
{
    constexpr int Depth = 64;
    void* frames[Depth];
    // frames[0] returns into this function, frames[1] into its caller.
    const int count = ::backtrace(frames, Depth);
    TCallStack addresses{};
    std::size_t taken = 0;
    for (int i = 1 + (skip > 0 ? skip : 0); i < count && taken < addresses.size(); ++i) {
        // One byte before the return address lies inside the call instruction, whatever its
        // length.
        const std::uint32_t address = ModuleRelativeAddress(static_cast<char*>(frames[i]) - 1);
        if (address == 0)
            break;
        addresses[taken++] = address;
    }
    return addresses;
}

QString FormatCallStack(const TCallStack& addresses)
{
    QString text;
    for (const std::uint32_t address : addresses) {
        if (address == 0)
            break;
        if (!text.isEmpty())
            text += u", ";
        text += DWordToHex(address);
    }
    return text;
}

QString EncodeReportValue(QStringView text)
{
    const QString trimmed = TrimText(text);
    QString encoded;
    encoded.reserve(trimmed.size() + 16);
    bool blanks = false;
    for (const QChar c : trimmed) {
        const char16_t unit = c.unicode();
        const bool blank = unit == u'\t' || unit == u'\n' || unit == u'\r' || unit == u' ';
        if (blank && !blanks)
            encoded += u"%20";
        blanks = blank;
        if (blank)
            continue;
        switch (unit) {
        case u'#':
            encoded += u"%23";
            break;
        case u'%':
            encoded += u"%25";
            break;
        case u'&':
            encoded += u"%26";
            break;
        case u'+':
            encoded += u"%2B";
            break;
        case u';':
            encoded += u"%3b";
            break;
        case u'=':
            encoded += u"%3D";
            break;
        default:
            encoded += c;
        }
    }
    return encoded;
}

TReport BuildReport(const TExceptionDetails& details, const TInfo& info)
{
    const QString& version = info.VersionInfo.FileVersion;
    const QString size = QString::number(info.FileSize);
    const QString& system = info.WindowsVersion;
    const QString message = reportedMessage(details.ErrorClassName, details.ErrorMessage);
    const QString code = DWordToHex(details.ExceptionCode);
    const QString raise = DWordToHex(details.RaiseAddress);
    TReport report;
    // The version and the system text are encoded too: a "#" or "&" in a kernel's release
    // name would otherwise cut the query short.
    report.Query = u"p=Dirka&v=" + EncodeReportValue(version) + u"&s=" + size + u"&o=" +
                   EncodeReportValue(system) + u"&n=" + EncodeReportValue(details.ErrorClassName) +
                   u"&m=" + EncodeReportValue(message) + u"&c=" + code + u"&a=" + raise;
    report.Text = u"Program: Dirka " + version + u" (" + size + u" bytes)" + CrLf + u"OS:\t" +
                  system + CrLf + u"Error name:\t" + details.ErrorClassName + CrLf +
                  u"Error message:\t" + message + CrLf + u"Error Code:\t" + code + CrLf +
                  u"Address:\t" + raise + CrLf;
    if (details.FaultAddress != details.RaiseAddress) {
        const QString fault = DWordToHex(details.FaultAddress);
        report.Query += u',' + fault;
        report.Text += u"Addr. 2:\t" + fault + CrLf;
    }
    report.Query += u"&t=" + EncodeReportValue(details.CallStack);
    report.Text += u"Call stack:\t" + details.CallStack + CrLf;
    report.Query = ReplaceAll(u" ", u"%20", report.Query);
    return report;
}

QString ReportNoteText(QStringView reportText, QStringView email, QStringView comment)
{
    return reportText + u"Email:\t" + email + CrLf + u"Note: " + CrLf + comment;
}

QString ReportSenderQuery(QStringView email, QStringView comment)
{
    return u"&e=" + EncodeReportValue(email) + u"&d=" + EncodeReportValue(comment);
}

} // namespace dirka
