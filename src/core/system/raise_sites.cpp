#include "core/system/raise_sites.h"

#include <cstdlib>
#include <dlfcn.h>

namespace {

struct TRaiseSite {
    const void* Object;
    const void* Address;
};

// A small ring: a report looks up its error right after catching it, but destructors run while
// unwinding may throw and catch errors of their own in between.
constexpr unsigned KeptSites = 16;
thread_local TRaiseSite t_sites[KeptSites];
thread_local unsigned t_next = 0;

using TThrowFunction = void (*)(void*, void*, void (*)(void*));

} // namespace

const void* dirka::RaiseSiteOf(const void* object)
{
    if (object == nullptr)
        return nullptr;
    for (unsigned back = 1; back <= KeptSites; ++back) {
        const TRaiseSite& site = t_sites[(t_next - back) % KeptSites];
        if (site.Object == object)
            return site.Address;
    }
    return nullptr;
}

// Every throw expression calls the runtime's __cxa_throw. The linker binds the program's calls
// to this definition and, since the C++ library names the function too, exports it, so the
// throws inside shared libraries that call through the dynamic linker (the C++ library's own
// std::__throw_* helpers among them) arrive here as well. It notes the thrower's return address
// and goes on to the runtime's own function. This file holds no throw expression, so the
// compiler's own declaration of the function never meets this one.
extern "C" [[noreturn]] void __cxa_throw(void* object, void* type, void (*destroy)(void*))
{
    static const auto next = reinterpret_cast<TThrowFunction>(dlsym(RTLD_NEXT, "__cxa_throw"));
    if (next == nullptr)
        std::abort();
    t_sites[t_next++ % KeptSites] = {object, __builtin_return_address(0)};
    next(object, type, destroy);
    __builtin_unreachable();
}
