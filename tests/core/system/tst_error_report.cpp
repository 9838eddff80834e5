#include "core/system/error_report.h"
#include "core/text/assertion.h"

#include "test_support.h"

#include <QList>
#include <QRegularExpression>
#include <QTest>
#include <QUrl>

#include <ios>
#include <new>
#include <vector>

using namespace dirka;
using testsupport::testInfo;

namespace {

struct ELocal : std::exception {};
struct TOuter {
    struct EInner : std::exception {};
};

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
// Sanitizer builds make every function several times larger.
#if defined(__SANITIZE_ADDRESS__)
constexpr std::uint32_t FunctionReach = 4096;
#else
constexpr std::uint32_t FunctionReach = 256;
#endif

bool inside(std::uint32_t address, const void* function)
{
    const std::uint32_t start = ModuleRelativeAddress(function);
    return start != 0 && address > start && address < start + FunctionReach;
}

} // namespace

Q_DECLARE_METATYPE(const std::type_info*)
Q_DECLARE_METATYPE(const void*)

class TestErrorReport : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void encodeReportValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("encoded");
        QTest::newRow("specials") << u"a = b & c; #1 + 50%"_qs
                                  << u"a%20%3D%20b%20%26%20c%3b%20%231%20%2B%2050%25"_qs;
        QTest::newRow("lines, blank lines, blanks at both ends")
            << u"  First line.\r\n\r\n   Second line;\tthird  \r\n\r\n"_qs
            << u"First%20line.%20Second%20line%3b%20third"_qs;
        QTest::newRow("LF lines") << u"one\n\n\ntwo\n"_qs << u"one%20two"_qs;
        QTest::newRow("blanks only") << u"\r\n \t "_qs << QString();
        QTest::newRow("kept as they are") << u"a?b/c:d@e,f(g)"_qs << u"a?b/c:d@e,f(g)"_qs;
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
        QTest::newRow("nothing") << QList<uint>{} << QString();
        QTest::newRow("one address") << QList<uint>{0x0040ABCD} << u"0040ABCD"_qs;
        QTest::newRow("three") << QList<uint>{0x0040ABCD, 0x10, 0xFFFFFFFF}
                               << u"0040ABCD, 00000010, FFFFFFFF"_qs;
        QTest::newRow("ends at the first 0") << QList<uint>{1, 0, 3} << u"00000001"_qs;
        QTest::newRow("starts with 0") << QList<uint>{0, 5} << QString();
        QTest::newRow("nine") << QList<uint>{1, 2, 3, 4, 5, 6, 7, 8, 0x9ABCDEF0}
                              << u"00000001, 00000002, 00000003, 00000004, 00000005, "
                                 u"00000006, 00000007, 00000008, 9ABCDEF0"_qs;
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
        QTest::addColumn<uint>("fault");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("text");
        const QString query = u"p=Dirka&v=2.1.0.37&s=123456&o=Linux%206.1.0&n=EWin32Error"
                              u"&m=Test%20Error&c=00000000&a=0001A2B4"_qs;
        const QString text = u"Program: Dirka 2.1.0.37 (123456 bytes)\r\nOS:\tLinux 6.1.0\r\n"
                             u"Error name:\tEWin32Error\r\nError message:\tTest Error\r\n"
                             u"Error Code:\t00000000\r\nAddress:\t0001A2B4\r\n"_qs;
        const QString stack = u"Call stack:\t0001A2B0, 00020010\r\n"_qs;
        QTest::newRow("fault at the raise address")
            << 0x1A2B4u << query + u"&t=0001A2B0,%2000020010" << text + stack;
        QTest::newRow("fault elsewhere") << 0x2000u << query + u",00002000&t=0001A2B0,%2000020010"
                                         << text + u"Addr. 2:\t00002000\r\n" + stack;
    }
    void buildReport()
    {
        QFETCH(uint, fault);
        QFETCH(QString, query);
        QFETCH(QString, text);
        TExceptionDetails details;
        details.ErrorClassName = u"EWin32Error"_qs;
        details.ErrorMessage = u"Test Error"_qs;
        details.RaiseAddress = 0x1A2B4;
        details.FaultAddress = fault;
        details.CallStack = u"0001A2B0, 00020010"_qs;
        const TReport report = BuildReport(details, testInfo());
        QCOMPARE(report.Query, query);
        QCOMPARE(report.Text, text);
    }

    void reportedMessage_data()
    {
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("sent");
        const QString source =
            u"Assertion failure (/home/ann/dirka/src/core/text/uu.cpp, line 12)"_qs;
        QTest::newRow("assertion with a full path")
            << u"EAssertionFailed"_qs << source
            << u"Assertion%20failure%20(uu.cpp,%20line%2012)"_qs;
        QTest::newRow("another class") << u"EWin32Error"_qs << source
                                       << u"Assertion%20failure%20(/home/ann/dirka/src/core/"
                                          u"text/uu.cpp,%20line%2012)"_qs;
        QTest::newRow("a folder with a comma")
            << u"EAssertionFailed"_qs << u"Assertion failure (/home/a,b/list.cpp, line 7)"_qs
            << u"Assertion%20failure%20(list.cpp,%20line%207)"_qs;
        QTest::newRow("no folders") << u"EAssertionFailed"_qs << u"Assertion failure (x, line 7)"_qs
                                    << u"Assertion%20failure%20(x,%20line%207)"_qs;
        QTest::newRow("no comma") << u"EAssertionFailed"_qs << u"Assertion failure (/a/b)"_qs
                                  << u"Assertion%20failure%20(/a/b)"_qs;
    }
    void reportedMessage()
    {
        QFETCH(QString, className);
        QFETCH(QString, message);
        QFETCH(QString, sent);
        TExceptionDetails details;
        details.ErrorClassName = className;
        details.ErrorMessage = message;
        const TReport report = BuildReport(details, testInfo());
        QCOMPARE(report.Query.section(u'&', 5, 5), u"m=" + sent);
        const QString shown = report.Text.section(u"\r\n"_qs, 3, 3);
        QCOMPARE(QString(shown), u"Error message:\t" + QUrl::fromPercentEncoding(sent.toUtf8()));
    }

    void programFacts_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("system");
        QTest::addColumn<QString>("head");
        QTest::newRow("blank in the version") << u"2.1 beta"_qs << u"Linux 6.1.0"_qs
                                              << u"p=Dirka&v=2.1%20beta&s=7&o=Linux%206.1.0"_qs;
        QTest::newRow("# and & in the system")
            << u"2.1.0.37"_qs << u"Linux 6.1#1&x"_qs
            << u"p=Dirka&v=2.1.0.37&s=7&o=Linux%206.1%231%26x"_qs;
        QTest::newRow("nothing known") << QString() << QString() << u"p=Dirka&v=&s=7&o="_qs;
    }
    void programFacts()
    {
        QFETCH(QString, version);
        QFETCH(QString, system);
        QFETCH(QString, head);
        TInfo info;
        info.FileSize = 7;
        info.VersionInfo.FileVersion = version;
        info.WindowsVersion = system;
        QCOMPARE(BuildReport(TExceptionDetails{}, info).Query,
                 QString(head + u"&n=&m=&c=00000000&a=00000000&t="));
    }

    void senderQuery_data()
    {
        QTest::addColumn<QString>("email");
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QString>("query");
        QTest::newRow("nothing typed") << QString() << QString() << u"&e=&d="_qs;
        QTest::newRow("both") << u" ann+dirka@example.org "_qs
                              << u"\n  Listed /home.\n\n  Pressed F6 twice;\n\n"_qs
                              << u"&e=ann%2Bdirka@example.org&d=Listed%20/home.%20Pressed%20F6%20"
                                 u"twice%3b"_qs;
    }
    void senderQuery()
    {
        QFETCH(QString, email);
        QFETCH(QString, comment);
        QFETCH(QString, query);
        QCOMPARE(ReportSenderQuery(email, comment), query);
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
        QTest::addColumn<const void*>("raisedIn");
        const void* const none = nullptr;
        QTest::newRow("the test error") << 0 << u"EWin32Error"_qs << u"Test Error"_qs
                                        << reinterpret_cast<const void*>(&RaiseTestError);
        QTest::newRow("an assertion")
            << 1 << u"EAssertionFailed"_qs << u"Assertion failure (x.cpp, line 1)"_qs
            << reinterpret_cast<const void*>(&throwHere);
        QTest::newRow("raised in the C++ library")
            << 2 << u"out_of_range"_qs
            << u"vector::_M_range_check: __n (which is 3) >= this->size() (which is 0)"_qs << none;
        QTest::newRow("not of a class") << 3 << u"int"_qs << QString() << none;
        QTest::newRow("no error") << 4 << QString() << QString() << none;
    }
    void detailsOf()
    {
        QFETCH(int, thrower);
        QFETCH(QString, className);
        QFETCH(QString, message);
        QFETCH(const void*, raisedIn);
        std::exception_ptr error;
        try {
            if (thrower == 0)
                RaiseTestError();
            if (thrower == 1)
                throwHere();
            if (thrower == 2)
                (void)std::vector<int>().at(3);
            if (thrower == 3)
                throw 42;
        } catch (...) {
            error = std::current_exception();
        }
        const TExceptionDetails details = DetailsOf(error);
        QCOMPARE(details.ErrorClassName, className);
        QCOMPARE(details.ErrorMessage, message);
        QCOMPARE(details.ExceptionCode, 0u);
        QCOMPARE(details.FaultAddress, details.RaiseAddress);
        if (raisedIn != nullptr)
            QVERIFY(inside(details.RaiseAddress, raisedIn));
        else // the library's own helper raised it; a value of no class has no address
            QCOMPARE(details.RaiseAddress != 0, thrower == 2);
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
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the sanitizer's own frames stand in the stack it hands back");
#endif
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
