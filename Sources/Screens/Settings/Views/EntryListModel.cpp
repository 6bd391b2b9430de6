#include "Screens/Settings/Views/EntryListModel.h"

namespace tarnwick {

EntryListModel::EntryListModel(QObject* parent) : QAbstractListModel(parent) {}

void EntryListModel::setEntries(EntryList entries) {
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

std::shared_ptr<Entry> EntryListModel::entry(int row) const {
    if (row < 0 || row >= rowCount()) {
        return nullptr;
    }
    return m_entries[static_cast<std::size_t>(row)];
}

int EntryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_entries.size());
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    return QString::fromStdString(m_entries[static_cast<std::size_t>(index.row())]->title());
}

}  // namespace tarnwick
