#include "Screens/Settings/Views/RestrictionsView.h"

#include "QtSupport/PublisherBinding.h"
#include "Screens/Settings/SettingsViewModel.h"
#include "Screens/Settings/Views/DetectionLevelView.h"
#include "Screens/Settings/Views/EdgeFades.h"
#include "Screens/Settings/Views/SettingsRestrictionRuleCell.h"
#include "Screens/Settings/Views/SettingsText.h"
#include "WidgetKit/Style/Appearance.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

namespace tarnwick {

namespace {

QWidget* columnHeader(const QString& title, const QString& subtitle, QWidget* parent) {
    auto* header = new QWidget(parent);
    header->setAutoFillBackground(true);
    QPalette background = header->palette();
    background.setColor(QPalette::Window, Appearance::color(NamedColor::windowBackgroundColor()));
    header->setPalette(background);
    header->setMinimumHeight(42);
    header->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto* stack = new QVBoxLayout(header);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(2);
    stack->addWidget(makeSettingsLabel(title, typefaceFace::medium, 14, header));
    auto* note = makeSettingsLabel(subtitle, typefaceFace::regular, 12, header);
    setTextColor(note, note->palette().color(QPalette::PlaceholderText));
    stack->addWidget(note);
    stack->addStretch();
    return header;
}

}  // namespace

RestrictionsView::RestrictionsView(std::shared_ptr<SettingsViewModel> viewModel, QWidget* parent)
    : QWidget(parent), m_viewModel(std::move(viewModel)) {
    setObjectName(QStringLiteral("RestrictionsView"));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    auto* title = makeSettingsLabel(QStringLiteral("Pick your restrictions"),
                                    typefaceFace::semiBold, 16, this);
    title->setAlignment(Qt::AlignCenter);
    stack->addWidget(title);
    stack->addSpacing(16);

    auto* columns = new QHBoxLayout();
    auto* required = new QWidget(this);
    required->setMinimumWidth(274);
    required->setMaximumWidth(324);
    auto* requiredStack = new QVBoxLayout(required);
    requiredStack->setContentsMargins(0, 0, 8, 0);
    requiredStack->addWidget(columnHeader(
        QStringLiteral("Required restrictions"),
        QStringLiteral("These restrictions are the bare minimum to operate"), required));
    for (const auto& rule : m_viewModel->requiredRestrictions()) {
        auto* cell = new SettingsRestrictionRuleCell(rule, true, required);
        m_requiredCells.push_back(cell);
        requiredStack->addWidget(cell);
    }
    requiredStack->addStretch();
    columns->addWidget(required, 1);

    auto* additional = new QWidget(this);
    additional->setMinimumWidth(274);
    auto* additionalStack = new QVBoxLayout(additional);
    additionalStack->setContentsMargins(0, 0, 8, 0);
    additionalStack->setSpacing(0);
    auto* header = columnHeader(
        QStringLiteral("Additional restrictions"),
        QStringLiteral("These restrictions are your customisable detection rules"), additional);
    additionalStack->addWidget(header);
    auto* scroll = new QScrollArea(additional);
    scroll->setObjectName(QStringLiteral("additionalRules"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    scroll->setMinimumHeight(200);
    scroll->viewport()->setAutoFillBackground(false);
    auto* list = new QWidget(scroll);
    auto* listStack = new QVBoxLayout(list);
    listStack->setContentsMargins(0, 0, 0, 0);
    listStack->setSpacing(0);
    // The first rule starts under the top fade; the last can scroll up out of the bottom one.
    constexpr int topPadding = 18;
    constexpr int bottomPadding = 64;
    listStack->addSpacing(topPadding);
    m_additionalList = new QVBoxLayout();
    m_additionalList->setSpacing(0);
    listStack->addLayout(m_additionalList);
    listStack->addStretch();
    listStack->addSpacing(bottomPadding);
    scroll->setWidget(list);
    // After setWidget, which turns it on: filled, the list would paint the palette's grey over the
    // window's own background wherever it has no rule.
    list->setAutoFillBackground(false);
    new EdgeFades(scroll, 30, 100, topPadding, bottomPadding);
    additionalStack->addWidget(scroll, 1);
    columns->addWidget(additional, 1);
    stack->addLayout(columns, 1);

    m_detectionLevelView = new DetectionLevelView(m_viewModel, this);
    stack->addWidget(m_detectionLevelView);

    bindPublisher(m_viewModel->additionalRestrictions.publisher(), this,
                  [this](const std::vector<RestrictionPreference>&) { rebuildAdditionalCells(); });
    bindPublisher(m_viewModel->selectedRestrictions().publisher(), this,
                  [this](const std::vector<RestrictionPreference>&) { refreshChecks(); });
}

RestrictionsView::~RestrictionsView() = default;

void RestrictionsView::rebuildAdditionalCells() {
    for (auto* cell : m_additionalCells) {
        delete cell;
    }
    m_additionalCells.clear();
    QWidget* list = m_additionalList->parentWidget();
    for (const auto& rule : m_viewModel->additionalRestrictions.get()) {
        auto* cell =
            new SettingsRestrictionRuleCell(rule, m_viewModel->isRestrictionSelected(rule), list);
        std::weak_ptr<SettingsViewModel> weakModel = m_viewModel;
        cell->onToggle = [weakModel, rule](bool isSelected) {
            if (const auto model = weakModel.lock()) {
                model->setRestriction(rule, isSelected);
            }
        };
        m_additionalCells.push_back(cell);
        m_additionalList->addWidget(cell);
    }
}

void RestrictionsView::refreshChecks() {
    for (auto* cell : m_additionalCells) {
        cell->setChecked(m_viewModel->isRestrictionSelected(cell->rule()));
    }
}

}  // namespace tarnwick
