#pragma once

#include <QLatin1StringView>

namespace dirka {

/// widget with its object name set, for layouts written as one expression and for lookups in
/// tests: named(new QCheckBox(caption, parent), "cbClearMemo").
template <typename T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QLatin1StringView(name));
    return widget;
}

} // namespace dirka
