#include "Screens/Settings/Views/TargetCoutriesView.h"

#include "QtSupport/PublisherBinding.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Screens/Settings/Views/CountryGridModel.h"
#include "Screens/Settings/Views/EdgeFades.h"
#include "Screens/Settings/Views/SettingsCountryCellView.h"
#include "Screens/Settings/Views/SpacedListView.h"
#include "WidgetKit/Controls/FocusableFilterTextField.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

namespace tarnwick {

TargetCoutriesView::TargetCoutriesView(std::shared_ptr<SettingsViewModel> viewModel,
                                       QWidget* mainWindow, QWidget* parent)
    : QWidget(parent), m_viewModel(std::move(viewModel)), m_mainWindow(mainWindow) {
    setObjectName(QStringLiteral("TargetCoutriesView"));
    auto* stack = new QVBoxLayout(this);
    // The grid's scroll bar runs down the screen's right edge: it stops short of the window's
    // rounded bottom corner instead of being cut by it.
    stack->setContentsMargins(0, 0, 0, bottomInset);
    auto* titleRow = new QHBoxLayout();
    auto* title = new QLabel(QStringLiteral("Select your target coutries"), this);
    QFont titleFont = QApplication::font();
    titleFont.setPointSizeF(15);
    titleFont.setWeight(QFont::DemiBold);
    title->setFont(titleFont);
    titleRow->addWidget(title);
    titleRow->addStretch();
    m_searchField = new FocusableFilterTextField(true, this);
    m_searchField->setObjectName(QStringLiteral("countrySearch"));
    titleRow->addWidget(m_searchField);
    stack->addLayout(titleRow);
    stack->addSpacing(16);

    m_gridModel = new CountryGridModel(this);
    std::weak_ptr<SettingsViewModel> weakModel = m_viewModel;
    m_gridModel->isInitiallySelected = [weakModel](const Country& country) {
        const auto model = weakModel.lock();
        if (!model) {
            return false;
        }
        const auto selected = model->selectedCountries().get();
        return std::find(selected.begin(), selected.end(), country) != selected.end();
    };
    m_grid = new SpacedListView(40, this);
    m_grid->setObjectName(QStringLiteral("countryGrid"));
    m_grid->setViewMode(QListView::IconMode);
    m_grid->setFlow(QListView::LeftToRight);
    m_grid->setWrapping(true);
    m_grid->setResizeMode(QListView::Adjust);
    m_grid->setMovement(QListView::Static);
    m_grid->setUniformItemSizes(true);
    m_grid->setSelectionMode(QAbstractItemView::NoSelection);
    m_grid->setFrameShape(QFrame::NoFrame);
    m_grid->setMouseTracking(true);
    m_grid->setMinimumWidth(minimumGridWidth);
    m_grid->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_cell = new SettingsCountryCellView(m_grid);
    m_grid->setItemDelegate(m_cell);
    m_grid->setModel(m_gridModel);
    m_grid->viewport()->setAutoFillBackground(false);
    m_grid->setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
    m_grid->viewport()->installEventFilter(this);
    m_grid->installEventFilter(this);
    // The main window's width is what counts, so its resizes ask the rule again.
    if (m_mainWindow != nullptr) {
        m_mainWindow->installEventFilter(this);
    }
    new EdgeFades(m_grid, 0, 80);
    connect(m_grid, &QListView::clicked, this,
            [this](const QModelIndex& index) { selectCell(index.row()); });
    stack->addWidget(m_grid, 1);

    connect(m_searchField, &QLineEdit::textEdited, this, [weakModel](const QString& text) {
        if (const auto model = weakModel.lock()) {
            model->setSearchBarText(text.toStdString());
        }
    });
    bindPublisher(m_viewModel->searchBarText().publisher(), this, [this](const std::string& text) {
        const QString shown = QString::fromStdString(text);
        if (m_searchField->text() != shown) {
            m_searchField->setText(shown);
        }
        if (!text.empty()) {
            m_grid->scrollToTop();
        }
    });
    bindPublisher(
        m_viewModel->representedCountries.publisher(), this,
        [this](const std::vector<Country>& countries) { m_gridModel->setCountries(countries); });
    updateColumns();
}

TargetCoutriesView::~TargetCoutriesView() = default;

int TargetCoutriesView::columnCount(const QWidget* mainWindow) {
    return mainWindow != nullptr && mainWindow->frameGeometry().width() > 2.25 * minimumGridWidth
               ? 4
               : 3;
}

void TargetCoutriesView::selectCell(int row) {
    if (row < 0 || row >= m_gridModel->rowCount()) {
        return;
    }
    const Country country = m_gridModel->country(row);
    const bool selected = m_gridModel->toggle(row);
    m_viewModel->setCountry(country, selected);
    m_grid->scrollToTop();
}

void TargetCoutriesView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateColumns();
}

bool TargetCoutriesView::eventFilter(QObject* watched, QEvent* event) {
    // The keyboard picks the current cell as a click does.
    if (watched == m_grid && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) &&
            m_grid->currentIndex().isValid()) {
            selectCell(m_grid->currentIndex().row());
            return true;
        }
    }
    if (event->type() == QEvent::Resize) {
        if (watched == m_grid->viewport()) {
            layOutGrid();
        } else if (watched == m_mainWindow) {
            updateColumns();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TargetCoutriesView::updateColumns() {
    const int columns = columnCount(m_mainWindow);
    if (columns != m_columns) {
        m_columns = columns;
        layOutGrid();
    }
}

void TargetCoutriesView::layOutGrid() {
    // A pixel to spare, so rounding never wraps the last column onto the next line.
    const int width = std::max(m_grid->viewport()->width() - 1, 1) / std::max(m_columns, 1);
    m_cell->setCellWidth(width);
    m_grid->setGridSize(QSize(
        width, SettingsCountryCellView::cellHeight + 2 * SettingsCountryCellView::verticalPadding));
}

}  // namespace tarnwick
