#pragma once

#include <QString>

class QAccessibleInterface;
class QObject;

namespace dirka {

/// The accessibility factory for TResultView (see QAccessible::installFactory): screen readers
/// read the result, the caret and the selection through a text interface.
QAccessibleInterface* CreateResultViewAccessible(const QString& className, QObject* object);

} // namespace dirka
