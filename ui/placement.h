#pragma once

#include <QRect>
#include <QWidget>

namespace tvl::ui {

// Moves a window so that its frame is centred on another window's frame.
inline void centreOn(QWidget& window, const QWidget& over) {
    QRect frame = window.frameGeometry();
    frame.moveCenter(over.frameGeometry().center());
    window.move(frame.topLeft());
}

}  // namespace tvl::ui
