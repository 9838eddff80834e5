#include "core/text/assertion.h"

namespace dirka {

std::string AssertionMessage(const std::source_location& where)
{
    return "Assertion failure (" + std::string(where.file_name()) + ", line " +
           std::to_string(where.line()) + ")";
}

} // namespace dirka
