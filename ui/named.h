#pragma once

#include <QString>

namespace tvl::ui {

// Gives a new widget its name: the one the caption files and the tests address it by.
template <class W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace tvl::ui
