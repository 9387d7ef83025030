#pragma once

// Gives a widget its control name as objectName, so tests and style sheets find it.
// Main thread.

namespace kestrelon {

template <class W> W* named(W* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

} // namespace kestrelon
