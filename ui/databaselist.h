#pragma once

#include <string>
#include <vector>

#include <QListWidget>

namespace tvl::ui {

// The server's list of databases, each item a check box. Each item keeps the entry as the
// server sent it, byte for byte, so what is written back into the task is the server's
// text whatever the display made of it.
class DatabaseList : public QListWidget {
    Q_OBJECT
public:
    explicit DatabaseList(QWidget* parent = nullptr);

    // Shows the entries, the ones marked checked.
    void setEntries(const std::vector<std::string>& entries, const std::vector<bool>& marks);
    // The entries as the server sent them, in list order.
    std::vector<std::string> entries() const;
    // Which entries are checked, in list order.
    std::vector<bool> marks() const;
    void uncheckAll();
};

}  // namespace tvl::ui
