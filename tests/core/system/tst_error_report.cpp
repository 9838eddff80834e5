#include "core/system/error_report.h"
#include "core/text/assertion.h"

#include <QList>
#include <QRegularExpression>
#include <QTest>

#include <ios>
#include <new>
#include <vector>

using namespace dirka;

namespace {

struct ELocal : std::exception {};
struct TOuter {
    struct EInner : std::exception {};
};

TInfo testInfo()
{
    TInfo info;
    info.FileSize = 123456;
    info.VersionInfo.FileVersion = QStringLiteral("2.1.0.37");
    info.WindowsVersion = QStringLiteral("Linux 6.1.0");
    return info;
}

// The functions whose code the recorded addresses must point into; noipa keeps each one a
// function of its own, called and not jumped to.
__attribute__((noipa)) void throwHere()
{
    throw EAssertionFailed("Assertion failure (x.cpp, line 1)");
}

__attribute__((noipa)) TCallStack inner(int skip)
{
    TCallStack stack = CollectCallStack(skip);
    asm volatile("" ::: "memory");
    return stack;
}

__attribute__((noipa)) TCallStack outer(int skip)
{
    TCallStack stack = inner(skip);
    asm volatile("" ::: "memory");
    return stack;
}

// True when address lies in the first bytes of function's code: small functions end there.
bool inside(std::uint32_t address, const void* function)
{
    const std::uint32_t start = ModuleRelativeAddress(function);
    return start != 0 && address > start && address < start + 256;
}

} // namespace

Q_DECLARE_METATYPE(const std::type_info*)

class TestErrorReport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void encodeReportValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("specials") << "a = b & c; #1 + 50%"
                                  << "a%20%3D%20b%20%26%20c%3b%20%231%20%2B%2050%25";
        QTest::newRow("lines, blank lines, blanks at both ends")
            << "  First line.\r\n\r\n   Second line;\tthird  \r\n\r\n"
            << "First%20line.%20Second%20line%3b%20third";
        QTest::newRow("LF lines") << "one\n\n\ntwo\n"
                                  << "one%20two";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("blanks only") << "\r\n \t "
                                     << "";
        QTest::newRow("kept as they are") << "a?b/c:d@e,f(g)"
                                          << "a?b/c:d@e,f(g)";
        QTest::newRow("outside ASCII") << u"Zażółć gęślą"_qs << u"Zażółć%20gęślą"_qs;
    }
    void encodeReportValue()
    {
        QFETCH(QString, text);
        QFETCH(QString, encoded);
        QCOMPARE(EncodeReportValue(text), encoded);
    }

    void formatCallStack_data()
    {
        QTest::addColumn<QList<uint>>("addresses");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << QList<uint>{} << "";
        QTest::newRow("one address") << QList<uint>{0x0040ABCD} << "0040ABCD";
        QTest::newRow("three") << QList<uint>{0x0040ABCD, 0x10, 0xFFFFFFFF}
                               << "0040ABCD, 00000010, FFFFFFFF";
        QTest::newRow("ends at the first 0") << QList<uint>{1, 0, 3} << "00000001";
        QTest::newRow("starts with 0") << QList<uint>{0, 5} << "";
        QTest::newRow("nine") << QList<uint>{1, 2, 3, 4, 5, 6, 7, 8, 0x9ABCDEF0}
                              << "00000001, 00000002, 00000003, 00000004, 00000005, "
                                 "00000006, 00000007, 00000008, 9ABCDEF0";
    }
    void formatCallStack()
    {
        QFETCH(QList<uint>, addresses);
        QFETCH(QString, text);
        TCallStack stack{};
        std::copy(addresses.begin(), addresses.end(), stack.begin());
        QCOMPARE(FormatCallStack(stack), text);
    }

    void buildReport_data()
    {
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("message");
        QTest::addColumn<uint>("raise");
        QTest::addColumn<uint>("fault");
        QTest::addColumn<QString>("stack");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("text");
        const QString head = QStringLiteral("p=Dirka&v=2.1.0.37&s=123456&o=Linux%206.1.0");
        const QString top = QStringLiteral("Program: Dirka 2.1.0.37 (123456 bytes)\r\n"
                                           "OS:\tLinux 6.1.0\r\n");
        QTest::newRow("test error")
            << "EWin32Error"
            << "Test Error" << 0x1A2B4u << 0x1A2B4u << "0001A2B0, 00020010"
            << head + u"&n=EWin32Error&m=Test%20Error&c=00000000&a=0001A2B4"
                      u"&t=0001A2B0,%2000020010"
            << top + u"Error name:\tEWin32Error\r\nError message:\tTest Error\r\n"
                     u"Error Code:\t00000000\r\nAddress:\t0001A2B4\r\n"
                     u"Call stack:\t0001A2B0, 00020010\r\n";
        QTest::newRow("assertion with a full path")
            << "EAssertionFailed"
            << "Assertion failure (/home/ann/dirka/src/core/text/text_utils.cpp, line 12)" << 0u
            << 0u << "00000010"
            << head + u"&n=EAssertionFailed&m=Assertion%20failure%20(text_utils.cpp,%20line%2012)"
                      u"&c=00000000&a=00000000&t=00000010"
            << top + u"Error name:\tEAssertionFailed\r\n"
                     u"Error message:\tAssertion failure (text_utils.cpp, line 12)\r\n"
                     u"Error Code:\t00000000\r\nAddress:\t00000000\r\nCall stack:\t00000010\r\n";
        QTest::newRow("the same text from another class")
            << "EWin32Error"
            << "Assertion failure (/src/a.cpp, line 3)" << 0u << 0u << ""
            << head + u"&n=EWin32Error&m=Assertion%20failure%20(/src/a.cpp,%20line%203)"
                      u"&c=00000000&a=00000000&t="
            << top + u"Error name:\tEWin32Error\r\n"
                     u"Error message:\tAssertion failure (/src/a.cpp, line 3)\r\n"
                     u"Error Code:\t00000000\r\nAddress:\t00000000\r\nCall stack:\t\r\n";
        QTest::newRow("assertion, a folder with a comma")
            << "EAssertionFailed"
            << "Assertion failure (/home/a,b/units/list.cpp, line 7)" << 0u << 0u << ""
            << head + u"&n=EAssertionFailed&m=Assertion%20failure%20(list.cpp,%20line%207)"
                      u"&c=00000000&a=00000000&t="
            << top + u"Error name:\tEAssertionFailed\r\n"
                     u"Error message:\tAssertion failure (list.cpp, line 7)\r\n"
                     u"Error Code:\t00000000\r\nAddress:\t00000000\r\nCall stack:\t\r\n";
        QTest::newRow("assertion without folders")
            << "EAssertionFailed"
            << "Assertion failure (list.cpp, line 7)" << 0u << 0u << ""
            << head + u"&n=EAssertionFailed&m=Assertion%20failure%20(list.cpp,%20line%207)"
                      u"&c=00000000&a=00000000&t="
            << top + u"Error name:\tEAssertionFailed\r\n"
                     u"Error message:\tAssertion failure (list.cpp, line 7)\r\n"
                     u"Error Code:\t00000000\r\nAddress:\t00000000\r\nCall stack:\t\r\n";
        QTest::newRow("fault apart from raise")
            << "EWin32Error"
            << "x" << 0x1000u << 0x2000u << "00003000"
            << head + u"&n=EWin32Error&m=x&c=00000000&a=00001000,00002000&t=00003000"
            << top + u"Error name:\tEWin32Error\r\nError message:\tx\r\n"
                     u"Error Code:\t00000000\r\nAddress:\t00001000\r\nAddr. 2:\t00002000\r\n"
                     u"Call stack:\t00003000\r\n";
    }
    void buildReport()
    {
        QFETCH(QString, className);
        QFETCH(QString, message);
        QFETCH(uint, raise);
        QFETCH(uint, fault);
        QFETCH(QString, stack);
        QFETCH(QString, query);
        QFETCH(QString, text);
        TExceptionDetails details;
        details.ErrorClassName = className;
        details.ErrorMessage = message;
        details.RaiseAddress = raise;
        details.FaultAddress = fault;
        details.CallStack = stack;
        const TReport report = BuildReport(details, testInfo());
        QCOMPARE(report.Query, query);
        QCOMPARE(report.Text, text);
    }

    void buildReportProgramFacts_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("system");
        QTest::addColumn<QString>("head");
        QTest::newRow("blank in the version") << "2.1 beta"
                                              << "Linux 6.1.0"
                                              << "p=Dirka&v=2.1%20beta&s=7&o=Linux%206.1.0&n=";
        QTest::newRow("# and & in the system")
            << "2.1.0.37"
            << "Linux 6.1.0#1&x"
            << "p=Dirka&v=2.1.0.37&s=7&o=Linux%206.1.0%231%26x&n=";
        QTest::newRow("nothing known") << ""
                                       << ""
                                       << "p=Dirka&v=&s=7&o=&n=";
    }
    void buildReportProgramFacts()
    {
        QFETCH(QString, version);
        QFETCH(QString, system);
        QFETCH(QString, head);
        TInfo info;
        info.FileSize = 7;
        info.VersionInfo.FileVersion = version;
        info.WindowsVersion = system;
        QCOMPARE(BuildReport(TExceptionDetails{}, info).Query,
                 QString(head + u"&m=&c=00000000&a=00000000&t="));
    }

    void senderQuery_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QString>("query");
        QTest::newRow("nothing typed") << ""
                                       << ""
                                       << "&e=&d=";
        QTest::newRow("no e-mail") << ""
                                   << "It broke."
                                   << "&e=&d=It%20broke.";
        QTest::newRow("both") << " ann+dirka@example.org "
                              << "\n  Listed /home.\n\n  Pressed F6 twice;\n\n"
                              << "&e=ann%2Bdirka@example.org&d=Listed%20/home.%20Pressed%20F6%20"
                                 "twice%3b";
    }
    void senderQuery()
    {
        QFETCH(QString, email);
        QFETCH(QString, comment);
        QFETCH(QString, query);
        QCOMPARE(ReportSenderQuery(email, comment), query);
    }

    void noteText()
    {
        QCOMPARE(ReportNoteText(u"Program: Dirka\r\n", u"ann@example.org", u"one\r\ntwo"),
                 u"Program: Dirka\r\nEmail:\tann@example.org\r\nNote: \r\none\r\ntwo"_qs);
    }

    void errorClassName_data()
    {
        QTest::addColumn<const std::type_info*>("type");
        QTest::addColumn<QString>("name");
        QTest::newRow("namespace dirka") << &typeid(EWin32Error) << "EWin32Error";
        QTest::newRow("assertion") << &typeid(EAssertionFailed) << "EAssertionFailed";
        QTest::newRow("std") << &typeid(std::bad_alloc) << "bad_alloc";
        QTest::newRow("ABI tag") << &typeid(std::ios_base::failure) << "failure";
        QTest::newRow("anonymous namespace") << &typeid(ELocal) << "ELocal";
        QTest::newRow("nested class") << &typeid(TOuter::EInner) << "EInner";
        QTest::newRow("template") << &typeid(std::vector<int>)
                                  << "vector<int, std::allocator<int> >";
        QTest::newRow("no class") << &typeid(int) << "int";
    }
    void errorClassName()
    {
        QFETCH(const std::type_info*, type);
        QFETCH(QString, name);
        QCOMPARE(ErrorClassNameOf(*type), name);
    }

    void detailsOf_data()
    {
        QTest::addColumn<int>("thrower");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("raiseKnown");
        QTest::newRow("the test error") << 0 << "EWin32Error"
                                        << "Test Error" << true;
        QTest::newRow("an assertion") << 1 << "EAssertionFailed"
                                      << "Assertion failure (x.cpp, line 1)" << true;
        QTest::newRow("raised in the library") << 2 << "out_of_range"
                                               << "vector::_M_range_check: __n (which is 3) >= "
                                                  "this->size() (which is 0)"
                                               << true;
        QTest::newRow("not an exception class") << 3 << "int"
                                                << "" << false;
    }
    void detailsOf()
    {
        QFETCH(int, thrower);
        QFETCH(QString, className);
        QFETCH(QString, message);
        QFETCH(bool, raiseKnown);
        std::exception_ptr error;
        try {
            if (thrower == 0)
                RaiseTestError();
            if (thrower == 1)
                throwHere();
            if (thrower == 2)
                (void)std::vector<int>().at(3);
            throw 42;
        } catch (...) {
            error = std::current_exception();
        }
        const TExceptionDetails details = DetailsOf(error);
        QCOMPARE(details.ErrorClassName, className);
        QCOMPARE(details.ErrorMessage, message);
        QCOMPARE(details.ExceptionCode, 0u);
        QCOMPARE(details.FaultAddress, details.RaiseAddress);
        QCOMPARE(details.CallStack, QString());
        if (!raiseKnown)
            QCOMPARE(details.RaiseAddress, 0u);
        else if (thrower == 2)
            QVERIFY(details.RaiseAddress != 0); // somewhere in the C++ library
        else if (thrower == 0)
            QVERIFY(inside(details.RaiseAddress, reinterpret_cast<const void*>(&RaiseTestError)));
        else
            QVERIFY(inside(details.RaiseAddress, reinterpret_cast<const void*>(&throwHere)));
    }

    void detailsOfNothing()
    {
        const TExceptionDetails details = DetailsOf(nullptr);
        QCOMPARE(details.ErrorClassName, QString());
        QCOMPARE(details.RaiseAddress, 0u);
    }

    void collectCallStack_data()
    {
        QTest::addColumn<int>("skip");
        QTest::addColumn<bool>("firstInInner");
        QTest::newRow("skip 0: the caller") << 0 << true;
        QTest::newRow("skip 1: the caller's caller") << 1 << false;
    }
    void collectCallStack()
    {
        QFETCH(int, skip);
        QFETCH(bool, firstInInner);
        const TCallStack stack = outer(skip);
        const void* first = firstInInner ? reinterpret_cast<const void*>(&inner)
                                         : reinterpret_cast<const void*>(&outer);
        QVERIFY(inside(stack[0], first));
        // A test runs many calls deep, so all nine slots are filled.
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9A-F]{8}(, [0-9A-F]{8}){8}$"))
                    .match(FormatCallStack(stack))
                    .hasMatch());
    }
};

QTEST_GUILESS_MAIN(TestErrorReport)
#include "tst_error_report.moc"
