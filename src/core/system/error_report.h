#pragma once

#include "core/system/program_info.h"

#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <typeinfo>

// The error report: what is known about an error that no command caught, in the readable form
// the user may look at and as the query string of the maker's bug-report address.
namespace dirka {

/// The error of the hidden test command (and of failed system calls that are worth a report).
class EWin32Error : public std::runtime_error {
public:
    explicit EWin32Error(const std::string& message) : std::runtime_error(message) {}
};

/// Throws EWin32Error("Test Error"): the test command's way into the error report.
[[noreturn]] void RaiseTestError();

/// What the report says about one error. Addresses are relative to the load address of the
/// module (program or library) that holds them, so they name the same code in every run.
struct TExceptionDetails {
    QString ErrorClassName;          // "EWin32Error"
    QString ErrorMessage;            // "Test Error"
    std::uint32_t ExceptionCode = 0; // no platform code for language exceptions here: 0
    std::uint32_t FaultAddress = 0;  // where the error was raised; 0 when not known
    std::uint32_t RaiseAddress = 0;  // the same; they differ only for hand-made details
    QString CallStack;               // "0012AB3C, 0012AC00"
};

/// The report as sent (query, without the "?") and as shown (lines ending in CR LF).
struct TReport {
    QString Query;
    QString Text;
};

/// Up to nine code addresses; the unused slots are 0.
using TCallStack = std::array<std::uint32_t, 9>;

/// The class name the report shows for a type: the demangled name without its namespaces,
/// enclosing classes and ABI tags; template arguments stay. dirka::EWin32Error gives
/// "EWin32Error", std::bad_alloc "bad_alloc", int "int", std::vector<int> "vector<int,
/// std::allocator<int> >".
QString ErrorClassNameOf(const std::type_info& type);

/// The details of an error: class name, message (UTF-8 of what()) and, for an object of a
/// class derived from std::exception thrown on this thread, its raise address (a value of
/// another type, "throw 42", has none). No call stack: that belongs to the handler. A null error
/// gives empty details.
TExceptionDetails DetailsOf(std::exception_ptr error);

/// address relative to its module's load address, low 32 bits; 0 when no module holds it.
std::uint32_t ModuleRelativeAddress(const void* address);

/// The return addresses of the calling chain, outward from the caller of CollectCallStack,
/// after passing over skip of them: with skip 1 the list begins with the caller's caller. Each
/// address points inside the calling instruction. The list ends at the first address that no
/// loaded module holds.
TCallStack CollectCallStack(int skip);

/// Eight upper-case hexadecimal digits per address, joined by ", " and ending at the first 0:
/// {0x0040ABCD, 0x10, 0} gives "0040ABCD, 00000010"; a list that starts with 0 gives "".
QString FormatCallStack(const TCallStack& addresses);

/// A value fit for the report's query: trimmed, every run of tab, CR, LF and space as one "%20",
/// and # % & + ; = escaped: EncodeReportValue(u"a = b & c; #1 + 50%") ==
/// "a%20%3D%20b%20%26%20c%3b%20%231%20%2B%2050%25". Other units stay as they are; the address
/// is percent-encoded as UTF-8 when it is sent.
QString EncodeReportValue(QStringView text);

/// The report for details, with the program facts of info. An assertion failure's message keeps
/// only the source file's name: "Assertion failure (/src/core/a.cpp, line 12)" is reported as
/// "Assertion failure (a.cpp, line 12)".
TReport BuildReport(const TExceptionDetails& details, const TInfo& info = Info());

/// The readable report with what the user typed, raw: the text shown before sending.
QString ReportNoteText(QStringView reportText, QStringView email, QStringView comment);

/// The query's tail added when sending: "&e=" + the encoded e-mail, "&d=" + the encoded comment.
QString ReportSenderQuery(QStringView email, QStringView comment);

} // namespace dirka
