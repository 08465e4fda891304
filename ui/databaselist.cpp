#include "databaselist.h"

#include "textcodec.h"

namespace tvl::ui {

namespace {
constexpr int kServerBytes = Qt::UserRole;
}

DatabaseList::DatabaseList(QWidget* parent) : QListWidget(parent) {}

void DatabaseList::setEntries(const std::vector<std::string>& entries,
                              const std::vector<bool>& marks) {
    clear();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        auto* item = new QListWidgetItem(fromFileBytes(entries[i]), this);
        item->setData(kServerBytes, QByteArray::fromStdString(entries[i]));
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(i < marks.size() && marks[i] ? Qt::Checked : Qt::Unchecked);
    }
}

std::vector<std::string> DatabaseList::entries() const {
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(count()));
    for (int i = 0; i < count(); ++i) {
        out.push_back(item(i)->data(kServerBytes).toByteArray().toStdString());
    }
    return out;
}

std::vector<bool> DatabaseList::marks() const {
    std::vector<bool> out;
    out.reserve(static_cast<std::size_t>(count()));
    for (int i = 0; i < count(); ++i) {
        out.push_back(item(i)->checkState() == Qt::Checked);
    }
    return out;
}

void DatabaseList::uncheckAll() {
    for (int i = 0; i < count(); ++i) {
        item(i)->setCheckState(Qt::Unchecked);
    }
}

}  // namespace tvl::ui
