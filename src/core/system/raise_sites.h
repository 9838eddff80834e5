#pragma once

// Where this program's code raised its recent exceptions, so the error report can name the
// raise address of the error it handles. The runtime keeps no such address for a C++ exception,
// so every throw of the program's own code is noted on its way to the runtime.
namespace dirka {

/// The code address just after the throw that raised the exception object at object (its
/// most-derived object, as dynamic_cast<const void*> gives it), when it is one of the last
/// sixteen thrown on this thread; nullptr otherwise.
const void* RaiseSiteOf(const void* object);

} // namespace dirka
