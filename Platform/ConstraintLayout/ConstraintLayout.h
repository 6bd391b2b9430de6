#pragma once

#include "ConstraintLayout/LayoutConstraint.h"

#include <QLayout>
#include <QPointer>

#include <map>
#include <memory>
#include <vector>

namespace tarnwick {

// A QLayout that places its widget's children by solving linear constraints between their edges,
// centres and sizes and the host's own. Children take part once a constraint mentions them. Each
// child also gets its size hint as an intrinsic size: it resists being squeezed below it with the
// compression-resistance priority and being stretched beyond it with the hugging priority, both
// per orientation.
class ConstraintLayout : public QLayout {
    Q_OBJECT

public:
    explicit ConstraintLayout(QWidget* host);
    ~ConstraintLayout() override;

    // The constraint layout of the widget, created when it has no layout yet; nothing when the
    // widget already has a layout of another kind.
    static ConstraintLayout* forWidget(QWidget* widget);

    // Every constraint currently active in this layout, in order of activation.
    std::vector<LayoutConstraint> constraints() const;

    void setContentHuggingPriority(QWidget* child, Qt::Orientation orientation, float priority);
    void setContentCompressionResistancePriority(QWidget* child, Qt::Orientation orientation,
                                                 float priority);
    float contentHuggingPriority(QWidget* child, Qt::Orientation orientation) const;
    float contentCompressionResistancePriority(QWidget* child, Qt::Orientation orientation) const;

    // The frame the last layout pass gave the child, in host coordinates (for tests and debugging).
    QRectF solvedFrame(QWidget* child) const;

    // QLayout
    void addItem(QLayoutItem* item) override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    int count() const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;
    void invalidate() override;

private:
    friend class LayoutConstraint;
    Result<void, LayoutError> install(const LayoutConstraint& constraint);
    void uninstall(const LayoutConstraint& constraint);
    void constantChanged(const LayoutConstraint& constraint);

    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace tarnwick
