#include "Screens/Settings/Views/CountryGridModel.h"

namespace tarnwick {

CountryGridModel::CountryGridModel(QObject* parent) : QAbstractListModel(parent) {}

void CountryGridModel::setCountries(const std::vector<Country>& countries) {
    beginResetModel();
    std::unordered_map<std::string, bool> selected;
    for (const auto& country : countries) {
        const auto known = m_selected.find(country.countryCode());
        selected[country.countryCode()] =
            known != m_selected.end()
                ? known->second
                : (isInitiallySelected ? isInitiallySelected(country) : false);
    }
    m_countries = countries;
    m_selected = std::move(selected);
    endResetModel();
}

bool CountryGridModel::isSelected(int row) const {
    const auto found = m_selected.find(country(row).countryCode());
    return found != m_selected.end() && found->second;
}

bool CountryGridModel::toggle(int row) {
    const bool selected = !isSelected(row);
    m_selected[country(row).countryCode()] = selected;
    const QModelIndex changed = index(row);
    emit dataChanged(changed, changed, {isSelectedRole});
    return selected;
}

QString CountryGridModel::cellText(const Country& country) {
    const QString flag = QString::fromStdString(country.flagEmoji().value_or("🚩"));
    QString name = QString::fromStdString(country.countryName());
    bool atWordStart = true;
    for (auto& character : name) {
        if (character.isSpace()) {
            atWordStart = true;
        } else {
            character = atWordStart ? character.toUpper() : character.toLower();
            atWordStart = false;
        }
    }
    return flag + QStringLiteral("     ") + name;
}

int CountryGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_countries.size());
}

QVariant CountryGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return cellText(country(index.row()));
        case isSelectedRole:
            return isSelected(index.row());
        default:
            return {};
    }
}

}  // namespace tarnwick
