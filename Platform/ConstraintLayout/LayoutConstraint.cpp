#include "ConstraintLayout/LayoutConstraint.h"

#include "ConstraintLayout/ConstraintLayout.h"

#include <sstream>

namespace tarnwick {

namespace {

const char* attributeName(LayoutAttribute attribute) {
    switch (attribute) {
        case LayoutAttribute::left:
            return "left";
        case LayoutAttribute::right:
            return "right";
        case LayoutAttribute::top:
            return "top";
        case LayoutAttribute::bottom:
            return "bottom";
        case LayoutAttribute::leading:
            return "leading";
        case LayoutAttribute::trailing:
            return "trailing";
        case LayoutAttribute::width:
            return "width";
        case LayoutAttribute::height:
            return "height";
        case LayoutAttribute::centerX:
            return "centerX";
        case LayoutAttribute::centerY:
            return "centerY";
        case LayoutAttribute::lastBaseline:
            return "lastBaseline";
        case LayoutAttribute::notAnAttribute:
            break;
    }
    return "notAnAttribute";
}

std::string itemName(const QWidget* widget) {
    if (widget == nullptr) {
        return "nil";
    }
    std::ostringstream out;
    out << widget->metaObject()->className();
    if (!widget->objectName().isEmpty()) {
        out << " '" << widget->objectName().toStdString() << "'";
    }
    out << " " << static_cast<const void*>(widget);
    return out.str();
}

// Where a constraint between these items lives: the widget whose layout places them.
QWidget* hostFor(QWidget* first, QWidget* second) {
    if (second == nullptr || second == first) {
        return first->parentWidget();
    }
    if (first->parentWidget() == second) {
        return second;
    }
    if (second->parentWidget() == first) {
        return first;
    }
    if (first->parentWidget() != nullptr && first->parentWidget() == second->parentWidget()) {
        return first->parentWidget();
    }
    return nullptr;
}

}  // namespace

LayoutConstraint::LayoutConstraint(QWidget* firstItem, LayoutAttribute firstAttribute,
                                   LayoutRelation relation, QWidget* secondItem,
                                   LayoutAttribute secondAttribute, double multiplier,
                                   double constant)
    : m_data(std::make_shared<Data>(Data{firstItem,
                                         firstAttribute,
                                         relation,
                                         secondItem,
                                         secondAttribute,
                                         multiplier,
                                         constant,
                                         layoutPriority::required,
                                         {},
                                         nullptr})) {}

bool LayoutConstraint::isActive() const {
    return !m_data->host.isNull();
}

void LayoutConstraint::setConstant(double constant) {
    if (m_data->constant == constant) {
        return;
    }
    m_data->constant = constant;
    if (m_data->host) {
        m_data->host->constantChanged(*this);
    }
}

void LayoutConstraint::setPriority(float priority) {
    if (m_data->priority == priority) {
        return;
    }
    const bool wasRequired = m_data->priority >= layoutPriority::required;
    const bool isRequired = priority >= layoutPriority::required;
    if (m_data->host && wasRequired != isRequired) {
        qWarning("A constraint cannot change between required and optional while active: %s",
                 description().c_str());
        return;
    }
    m_data->priority = priority;
    if (m_data->host) {
        m_data->host->constantChanged(*this);
    }
}

Result<void, LayoutError> LayoutConstraint::activate() {
    if (isActive()) {
        return {};
    }
    if (m_data->firstItem.isNull()) {
        return Failure{LayoutError{"A constraint needs a first item: " + description()}};
    }
    QWidget* host = hostFor(m_data->firstItem, m_data->secondItem);
    if (host == nullptr) {
        return Failure{LayoutError{
            "The items of a constraint must be siblings, or a widget and its parent, and a "
            "widget constrained alone needs a parent: " +
            description()}};
    }
    ConstraintLayout* layout = ConstraintLayout::forWidget(host);
    if (layout == nullptr) {
        return Failure{LayoutError{"The widget " + itemName(host) +
                                   " already has a layout of another kind: " + description()}};
    }
    return layout->install(*this);
}

void LayoutConstraint::deactivate() {
    if (m_data->host) {
        m_data->host->uninstall(*this);
    }
}

std::string LayoutConstraint::description() const {
    std::ostringstream out;
    out << itemName(m_data->firstItem) << "." << attributeName(m_data->firstAttribute)
        << (m_data->relation == LayoutRelation::equal             ? " == "
            : m_data->relation == LayoutRelation::lessThanOrEqual ? " <= "
                                                                  : " >= ");
    if (m_data->secondItem) {
        out << itemName(m_data->secondItem) << "." << attributeName(m_data->secondAttribute);
        if (m_data->multiplier != 1.0) {
            out << " * " << m_data->multiplier;
        }
        if (m_data->constant != 0.0) {
            out << " + " << m_data->constant;
        }
    } else {
        out << m_data->constant;
    }
    if (m_data->priority < layoutPriority::required) {
        out << " @" << m_data->priority;
    }
    if (!m_data->identifier.empty()) {
        out << " (" << m_data->identifier << ")";
    }
    return out.str();
}

}  // namespace tarnwick
