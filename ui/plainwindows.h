#pragma once

#include <QDialog>
#include <QWidget>

namespace tvl::ui {

// Windows that exist from start-up with their captions; their contents and handlers come
// with the commands that open them (About).

class AboutWindow : public QDialog {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent = nullptr);
};

}  // namespace tvl::ui
