#pragma once

#include "ConstraintLayout/LayoutAttribute.h"
#include "Foundation/Result.h"

#include <QPointer>
#include <QWidget>

#include <memory>
#include <string>

namespace tarnwick {

class ConstraintLayout;

struct LayoutError {
    std::string message;
};

// One relation between attributes of two widgets (or of one widget and a constant):
// `first.attribute <relation> second.attribute * multiplier + constant`. A handle: copies refer to
// the same constraint. Activating it installs it in the constraint layout of the widget that
// holds both items (the host itself or its direct children); deactivating takes it out.
class LayoutConstraint {
public:
    LayoutConstraint(QWidget* firstItem, LayoutAttribute firstAttribute, LayoutRelation relation,
                     QWidget* secondItem, LayoutAttribute secondAttribute, double multiplier,
                     double constant);

    QWidget* firstItem() const { return m_data->firstItem; }
    LayoutAttribute firstAttribute() const { return m_data->firstAttribute; }
    LayoutRelation relation() const { return m_data->relation; }
    QWidget* secondItem() const { return m_data->secondItem; }
    LayoutAttribute secondAttribute() const { return m_data->secondAttribute; }
    double multiplier() const { return m_data->multiplier; }
    double constant() const { return m_data->constant; }
    float priority() const { return m_data->priority; }
    const std::string& identifier() const { return m_data->identifier; }
    bool isActive() const;

    // Takes effect at once on an active constraint; the layout re-solves at its next pass.
    void setConstant(double constant);
    // A required constraint stays required once active, as with every constraint layout.
    void setPriority(float priority);
    void setIdentifier(std::string identifier) { m_data->identifier = std::move(identifier); }

    Result<void, LayoutError> activate();
    void deactivate();

    std::string description() const;

    bool operator==(const LayoutConstraint& other) const { return m_data == other.m_data; }

private:
    friend class ConstraintLayout;
    struct Data {
        QPointer<QWidget> firstItem;
        LayoutAttribute firstAttribute;
        LayoutRelation relation;
        QPointer<QWidget> secondItem;
        LayoutAttribute secondAttribute;
        double multiplier;
        double constant;
        float priority = layoutPriority::required;
        std::string identifier;
        QPointer<ConstraintLayout> host;
    };
    std::shared_ptr<Data> m_data;
};

}  // namespace tarnwick
