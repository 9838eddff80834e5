#pragma once

#include <source_location>
#include <stdexcept>
#include <string>

namespace dirka {

/// A broken precondition or a failed self-test case: a programming error, never a user error.
class EAssertionFailed : public std::logic_error {
public:
    explicit EAssertionFailed(const std::string& message) : std::logic_error(message) {}
};

/// "Assertion failure (src/core/text_utils.cpp, line 12)"
std::string AssertionMessage(const std::source_location& where);

/// Throws EAssertionFailed naming the caller's source file and line when condition is false.
inline void Assert(bool condition,
                   const std::source_location& where = std::source_location::current())
{
    if (!condition)
        throw EAssertionFailed(AssertionMessage(where));
}

} // namespace dirka
