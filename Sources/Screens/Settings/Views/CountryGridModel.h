#pragma once

#include "Tools/Country.h"

#include <QAbstractListModel>

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace tarnwick {

// The countries of the target-country grid, each with its cell's own selected state: seeded from
// the model's selection when the country enters the grid, then flipped by each click, and kept
// while the country stays in the grid.
class CountryGridModel : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role { isSelectedRole = Qt::UserRole + 1 };

    explicit CountryGridModel(QObject* parent = nullptr);

    // Whether a country that enters the grid starts selected.
    std::function<bool(const Country&)> isInitiallySelected;

    void setCountries(const std::vector<Country>& countries);
    const Country& country(int row) const { return m_countries.at(static_cast<std::size_t>(row)); }
    bool isSelected(int row) const;
    // Flips the cell's state and gives the new one.
    bool toggle(int row);

    // "<flag>     <Name With Capitals>"; a country without a flag shows the red flag.
    static QString cellText(const Country& country);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

private:
    std::vector<Country> m_countries;
    std::unordered_map<std::string, bool> m_selected;
};

}  // namespace tarnwick
