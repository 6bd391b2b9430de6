#include "Screens/Settings/Views/AllowancesListView.h"

#include "QtSupport/PublisherBinding.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Screens/Settings/Views/AllowDenyListCellView.h"
#include "Screens/Settings/Views/EdgeFades.h"
#include "Screens/Settings/Views/EntryListModel.h"
#include "Screens/Settings/Views/SettingsText.h"
#include "Screens/Settings/Views/SpacedListView.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/Typeface.h"

#include <QHBoxLayout>
#include <QHelpEvent>
#include <QListView>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>

namespace tarnwick {

AllowancesListView::AllowancesListView(std::shared_ptr<SettingsViewModel> viewModel,
                                       QWidget* parent)
    : QWidget(parent), m_viewModel(std::move(viewModel)) {
    setObjectName(QStringLiteral("AllowancesListView"));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->addWidget(makeSettingsLabel(QStringLiteral("Manage your connections"),
                                       typefaceFace::semiBold, 16, this));
    stack->addSpacing(16);
    auto* columns = new QHBoxLayout();
    columns->addWidget(makeColumn(m_columns[0], true), 1);
    columns->addWidget(makeColumn(m_columns[1], false), 1);
    stack->addLayout(columns, 1);

    m_rowsShown = m_viewModel->showListRows();
    bindPublisher(m_viewModel->allowList.publisher(), this,
                  [this](const SettingsViewModel::EntryList& entries) {
                      m_columns[0].cell->setHovered({}, false);
                      m_columns[0].model->setEntries(entries);
                  });
    bindPublisher(m_viewModel->denyList.publisher(), this,
                  [this](const SettingsViewModel::EntryList& entries) {
                      m_columns[1].cell->setHovered({}, false);
                      m_columns[1].model->setEntries(entries);
                  });
}

AllowancesListView::~AllowancesListView() = default;

QWidget* AllowancesListView::makeColumn(Column& column, bool isAllow) {
    auto* widget = new QWidget(this);
    widget->setMinimumWidth(274);
    auto* stack = new QVBoxLayout(widget);
    stack->setContentsMargins(0, 0, 8, 0);
    stack->setSpacing(0);

    auto* titleRow = new QWidget(widget);
    titleRow->setMinimumHeight(42);
    auto* row = new QHBoxLayout(titleRow);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(
        makeSettingsLabel(isAllow ? QStringLiteral("Allow list") : QStringLiteral("Deny list"),
                          typefaceFace::medium, 14, titleRow),
        0, Qt::AlignTop | Qt::AlignLeft);
    row->addStretch();
    column.removeAll = new QPushButton(QStringLiteral("Remove all"), titleRow);
    column.removeAll->setObjectName(isAllow ? QStringLiteral("removeAllAllowed")
                                            : QStringLiteral("removeAllDenied"));
    column.removeAll->setFont(Typeface::font(typefaceFace::regular, 12));
    column.removeAll->setFlat(true);
    column.removeAll->setCursor(Qt::PointingHandCursor);
    column.removeAll->setMaximumHeight(20);
    column.removeAll->setStyleSheet(
        QStringLiteral("QPushButton { color: %1; background: %2; border: none; "
                       "border-radius: 5px; padding: 4px; }")
            .arg(fadedTextColor(this, 0.7).name(QColor::HexArgb),
                 Appearance::color(NamedColor::windowBackgroundColor()).name(QColor::HexArgb)));
    std::weak_ptr<SettingsViewModel> weakModel = m_viewModel;
    connect(column.removeAll, &QPushButton::clicked, this, [weakModel, isAllow] {
        if (const auto model = weakModel.lock()) {
            model->removeAllEntries(!isAllow);
        }
    });
    row->addWidget(column.removeAll, 0, Qt::AlignTop);
    stack->addWidget(titleRow);

    column.model = new EntryListModel(this);
    column.cell = new AllowDenyListCellView(isAllow, this);
    column.list = new SpacedListView(40, widget);
    column.list->setObjectName(isAllow ? QStringLiteral("allowList") : QStringLiteral("denyList"));
    column.list->setModel(column.model);
    column.list->setItemDelegate(column.cell);
    column.list->setUniformItemSizes(true);
    column.list->setSelectionMode(QAbstractItemView::NoSelection);
    column.list->setFrameShape(QFrame::NoFrame);
    column.list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    column.list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    column.list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    column.list->setMouseTracking(true);
    column.list->setStyleSheet(QStringLiteral("QListView { background: transparent; }"));
    column.list->viewport()->installEventFilter(this);
    new EdgeFades(column.list, 30, 50);
    stack->addWidget(column.list, 1);
    return widget;
}

bool AllowancesListView::eventFilter(QObject* watched, QEvent* event) {
    for (auto& column : m_columns) {
        if (column.list != nullptr && watched == column.list->viewport()) {
            if (handleListEvent(column, event)) {
                return true;
            }
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

bool AllowancesListView::handleListEvent(Column& column, QEvent* event) {
    using Part = AllowDenyListCellView::Part;
    const auto partAt = [&column](const QPoint& point, QModelIndex& index) {
        index = column.list->indexAt(point);
        return index.isValid() ? column.cell->partAt(column.list->visualRect(index), point)
                               : Part::none;
    };
    QModelIndex index;
    switch (event->type()) {
        case QEvent::MouseMove: {
            const Part part = partAt(static_cast<QMouseEvent*>(event)->position().toPoint(), index);
            column.cell->setHovered(part == Part::none ? QModelIndex() : index,
                                    part == Part::trash);
            column.list->viewport()->update();
            return false;
        }
        case QEvent::Leave:
            column.cell->setHovered({}, false);
            column.list->viewport()->update();
            return false;
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton) {
                return false;
            }
            const Part part = partAt(mouse->position().toPoint(), index);
            const auto entry = column.model->entry(index.row());
            if (!entry || (part != Part::arrow && part != Part::trash)) {
                return false;
            }
            if (part == Part::arrow) {
                m_viewModel->moveToOtherList(entry);
            } else {
                m_viewModel->removeHitItem(entry, !column.cell->isAllow());
            }
            return true;
        }
        case QEvent::ToolTip: {
            auto* help = static_cast<QHelpEvent*>(event);
            const QString tip = column.cell->toolTip(partAt(help->pos(), index));
            if (tip.isEmpty()) {
                QToolTip::hideText();
            } else {
                QToolTip::showText(help->globalPos(), tip, column.list->viewport());
            }
            return true;
        }
        default:
            return false;
    }
}

}  // namespace tarnwick
