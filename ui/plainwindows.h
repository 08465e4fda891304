#pragma once

#include <QDialog>
#include <QWidget>

namespace tvl::ui {

// Windows that exist from start-up with their captions; their contents and handlers come
// with the commands that open them (Expected backups).

class DateIntervalDialog : public QDialog {
    Q_OBJECT
public:
    explicit DateIntervalDialog(QWidget* parent = nullptr);
};

class TaskViewerWindow : public QWidget {
    Q_OBJECT
public:
    explicit TaskViewerWindow(QWidget* parent = nullptr);
};

class WaitWindow : public QWidget {
    Q_OBJECT
public:
    explicit WaitWindow(QWidget* parent = nullptr);
};

}  // namespace tvl::ui
