#pragma once

#include "Tools/Entry.h"

#include <QAbstractListModel>

#include <memory>
#include <vector>

namespace tarnwick {

// The rows of one allow or deny list as an item model, so the list view draws only the rows in
// sight however long the list grows.
class EntryListModel : public QAbstractListModel {
    Q_OBJECT

public:
    using EntryList = std::vector<std::shared_ptr<Entry>>;

    explicit EntryListModel(QObject* parent = nullptr);

    void setEntries(EntryList entries);
    const EntryList& entries() const { return m_entries; }
    std::shared_ptr<Entry> entry(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    EntryList m_entries;
};

}  // namespace tarnwick
