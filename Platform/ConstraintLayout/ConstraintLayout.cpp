#include "ConstraintLayout/ConstraintLayout.h"

#include "AutoLayout/Solver.h"

#include <QWidget>
#include <QWidgetItem>

#include <algorithm>
#include <cmath>

namespace tarnwick {

namespace al = autolayout;

namespace {

// Children may be squeezed or stretched against their size hints at these priorities unless
// a caller says otherwise, as in every constraint layout.
constexpr float defaultHugging = layoutPriority::defaultLow;
constexpr float defaultCompression = layoutPriority::defaultHigh;

std::string variableName(const QWidget* widget, const char* suffix) {
    const QString name = widget->objectName().isEmpty()
                             ? QString::fromLatin1(widget->metaObject()->className())
                             : widget->objectName();
    return name.toStdString() + "." + suffix;
}

}  // namespace

struct ConstraintLayout::Impl {
    struct Child {
        QWidgetItem* item = nullptr;
        al::Variable x, y, width, height;
        std::vector<al::Constraint> base;
        std::vector<al::Constraint> intrinsic;
        float hugging[2] = {defaultHugging, defaultHugging};
        float compression[2] = {defaultCompression, defaultCompression};
    };
    struct Installed {
        LayoutConstraint constraint;
        al::Constraint solverConstraint;
        QWidget* first;
        QWidget* second;
    };

    QWidget* host = nullptr;
    al::Solver solver;
    al::Variable hostWidth{"host.width"};
    al::Variable hostHeight{"host.height"};
    double editStrength = al::strength::strong;
    QSize suggested{0, 0};
    std::vector<QWidget*> order;
    std::map<QWidget*, Child> children;
    std::vector<Installed> installed;
    bool intrinsicDirty = true;
    mutable bool measured = false;
    mutable QSize minimum, hint;

    static int index(Qt::Orientation orientation) { return orientation == Qt::Horizontal ? 0 : 1; }

    Child& child(ConstraintLayout* layout, QWidget* widget) {
        auto it = children.find(widget);
        if (it != children.end()) {
            return it->second;
        }
        Child created;
        created.x = al::Variable(variableName(widget, "x"));
        created.y = al::Variable(variableName(widget, "y"));
        created.width = al::Variable(variableName(widget, "width"));
        created.height = al::Variable(variableName(widget, "height"));
        layout->addChildWidget(widget);
        created.item = new QWidgetItem(widget);
        created.base = {created.width >= 0.0, created.height >= 0.0};
        for (const al::Constraint& constraint : created.base) {
            (void)solver.addConstraint(constraint);  // cannot conflict: fresh variables
        }
        order.push_back(widget);
        intrinsicDirty = true;
        return children.emplace(widget, std::move(created)).first->second;
    }

    al::Expression expression(ConstraintLayout* layout, QWidget* widget,
                              LayoutAttribute attribute) {
        al::Expression x, y, width, height;
        if (widget == host) {
            x = 0.0;
            y = 0.0;
            width = hostWidth;
            height = hostHeight;
        } else {
            Child& c = child(layout, widget);
            x = c.x;
            y = c.y;
            width = c.width;
            height = c.height;
        }
        const bool rightToLeft = host->layoutDirection() == Qt::RightToLeft;
        switch (attribute) {
            case LayoutAttribute::left:
                return x;
            case LayoutAttribute::right:
                return x + width;
            // Right to left, leading and trailing measure from the right edge towards the left,
            // so "leading = superview.leading + 10" insets by 10 in either direction.
            case LayoutAttribute::leading:
                return rightToLeft ? -(x + width) : x;
            case LayoutAttribute::trailing:
                return rightToLeft ? -x : x + width;
            case LayoutAttribute::top:
                return y;
            case LayoutAttribute::bottom:
            // Text widgets are laid out by their boxes; the box's bottom stands for the baseline.
            case LayoutAttribute::lastBaseline:
                return y + height;
            case LayoutAttribute::width:
                return width;
            case LayoutAttribute::height:
                return height;
            case LayoutAttribute::centerX:
                return x + width * 0.5;
            case LayoutAttribute::centerY:
                return y + height * 0.5;
            case LayoutAttribute::notAnAttribute:
                break;
        }
        return 0.0;
    }

    void setEditStrength(double strength) {
        if (editStrength == strength && solver.hasEditVariable(hostWidth)) {
            return;
        }
        if (solver.hasEditVariable(hostWidth)) {
            (void)solver.removeEditVariable(hostWidth);
            (void)solver.removeEditVariable(hostHeight);
        }
        editStrength = strength;
        (void)solver.addEditVariable(hostWidth, strength);
        (void)solver.addEditVariable(hostHeight, strength);
    }

    void suggest(QSize size) {
        (void)solver.suggestValue(hostWidth, size.width());
        (void)solver.suggestValue(hostHeight, size.height());
        solver.updateVariables();
    }

    void refreshIntrinsic() {
        if (!intrinsicDirty) {
            return;
        }
        intrinsicDirty = false;
        for (auto& [widget, c] : children) {
            for (const al::Constraint& constraint : c.intrinsic) {
                (void)solver.removeConstraint(constraint);
            }
            c.intrinsic.clear();
            const QSize hintSize = c.item->sizeHint();
            const QSize minimumSize = widget->minimumSize();
            const QSize maximumSize = widget->maximumSize();
            const std::pair<al::Variable, int> dimensions[] = {{c.width, 0}, {c.height, 1}};
            for (const auto& [variable, i] : dimensions) {
                const int size = i == 0 ? hintSize.width() : hintSize.height();
                const int least = i == 0 ? minimumSize.width() : minimumSize.height();
                const int most = i == 0 ? maximumSize.width() : maximumSize.height();
                if (size >= 0) {
                    c.intrinsic.push_back((variable >= double(size)) |
                                          al::strength::fromPriority(c.compression[i]));
                    c.intrinsic.push_back((variable <= double(size)) |
                                          al::strength::fromPriority(c.hugging[i]));
                }
                // A widget's own minimum and maximum sizes hold unless required constraints
                // of the layout say otherwise.
                if (least > 0) {
                    c.intrinsic.push_back((variable >= double(least)) | al::strength::strong);
                }
                if (most < QWIDGETSIZE_MAX) {
                    c.intrinsic.push_back((variable <= double(most)) | al::strength::strong);
                }
            }
            for (const al::Constraint& constraint : c.intrinsic) {
                (void)solver.addConstraint(constraint);
            }
        }
    }

    void measure() const {
        if (measured) {
            return;
        }
        auto* self = const_cast<Impl*>(this);
        self->refreshIntrinsic();
        // The smallest size the required constraints allow, then the smallest that keeps the
        // children's preferred sizes too.
        self->setEditStrength(al::strength::strong);
        self->suggest(QSize(0, 0));
        minimum = QSize(int(std::ceil(hostWidth.value() - 1e-6)),
                        int(std::ceil(hostHeight.value() - 1e-6)));
        self->setEditStrength(al::strength::weak);
        self->suggest(QSize(0, 0));
        hint = QSize(int(std::ceil(hostWidth.value() - 1e-6)),
                     int(std::ceil(hostHeight.value() - 1e-6)))
                   .expandedTo(minimum);
        self->setEditStrength(al::strength::strong);
        self->suggest(suggested);
        measured = true;
    }
};

ConstraintLayout::ConstraintLayout(QWidget* host)
    : QLayout(host), m_impl(std::make_unique<Impl>()) {
    m_impl->host = host;
    setContentsMargins(0, 0, 0, 0);
    setSizeConstraint(QLayout::SetNoConstraint);
    m_impl->setEditStrength(al::strength::strong);
}

ConstraintLayout::~ConstraintLayout() {
    for (Impl::Installed& entry : m_impl->installed) {
        entry.constraint.m_data->host = nullptr;
    }
    for (auto& [widget, child] : m_impl->children) {
        delete child.item;
    }
}

ConstraintLayout* ConstraintLayout::forWidget(QWidget* widget) {
    if (widget == nullptr) {
        return nullptr;
    }
    if (widget->layout() == nullptr) {
        return new ConstraintLayout(widget);
    }
    return qobject_cast<ConstraintLayout*>(widget->layout());
}

std::vector<LayoutConstraint> ConstraintLayout::constraints() const {
    std::vector<LayoutConstraint> result;
    for (const Impl::Installed& entry : m_impl->installed) {
        result.push_back(entry.constraint);
    }
    return result;
}

void ConstraintLayout::setContentHuggingPriority(QWidget* child, Qt::Orientation orientation,
                                                 float priority) {
    m_impl->child(this, child).hugging[Impl::index(orientation)] = priority;
    m_impl->intrinsicDirty = true;
    invalidate();
}

void ConstraintLayout::setContentCompressionResistancePriority(QWidget* child,
                                                               Qt::Orientation orientation,
                                                               float priority) {
    m_impl->child(this, child).compression[Impl::index(orientation)] = priority;
    m_impl->intrinsicDirty = true;
    invalidate();
}

float ConstraintLayout::contentHuggingPriority(QWidget* child, Qt::Orientation orientation) const {
    const auto it = m_impl->children.find(child);
    return it == m_impl->children.end() ? defaultHugging
                                        : it->second.hugging[Impl::index(orientation)];
}

float ConstraintLayout::contentCompressionResistancePriority(QWidget* child,
                                                             Qt::Orientation orientation) const {
    const auto it = m_impl->children.find(child);
    return it == m_impl->children.end() ? defaultCompression
                                        : it->second.compression[Impl::index(orientation)];
}

QRectF ConstraintLayout::solvedFrame(QWidget* child) const {
    const auto it = m_impl->children.find(child);
    if (it == m_impl->children.end()) {
        return {};
    }
    const Impl::Child& c = it->second;
    return QRectF(c.x.value(), c.y.value(), c.width.value(), c.height.value());
}

void ConstraintLayout::addItem(QLayoutItem* item) {
    // Children join through constraints; a plain item has nothing to place it.
    if (QWidget* widget = item->widget()) {
        m_impl->child(this, widget);
    }
    delete item;
}

QLayoutItem* ConstraintLayout::itemAt(int index) const {
    if (index < 0 || index >= int(m_impl->order.size())) {
        return nullptr;
    }
    return m_impl->children.at(m_impl->order[index]).item;
}

QLayoutItem* ConstraintLayout::takeAt(int index) {
    if (index < 0 || index >= int(m_impl->order.size())) {
        return nullptr;
    }
    QWidget* widget = m_impl->order[index];
    m_impl->order.erase(m_impl->order.begin() + index);
    // Constraints that mention a widget leaving the layout go with it.
    auto& installed = m_impl->installed;
    for (auto it = installed.begin(); it != installed.end();) {
        if (it->first == widget || it->second == widget) {
            (void)m_impl->solver.removeConstraint(it->solverConstraint);
            it->constraint.m_data->host = nullptr;
            it = installed.erase(it);
        } else {
            ++it;
        }
    }
    Impl::Child child = std::move(m_impl->children.at(widget));
    m_impl->children.erase(widget);
    for (const auto* list : {&child.intrinsic, &child.base}) {
        for (const al::Constraint& constraint : *list) {
            (void)m_impl->solver.removeConstraint(constraint);
        }
    }
    invalidate();
    return child.item;
}

int ConstraintLayout::count() const {
    return int(m_impl->order.size());
}

QSize ConstraintLayout::sizeHint() const {
    m_impl->measure();
    return m_impl->hint;
}

QSize ConstraintLayout::minimumSize() const {
    m_impl->measure();
    return m_impl->minimum;
}

void ConstraintLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    m_impl->refreshIntrinsic();
    m_impl->setEditStrength(al::strength::strong);
    m_impl->suggested = rect.size();
    m_impl->suggest(rect.size());
    for (QWidget* widget : m_impl->order) {
        const Impl::Child& c = m_impl->children.at(widget);
        const int left = int(std::lround(c.x.value()));
        const int top = int(std::lround(c.y.value()));
        const int right = int(std::lround(c.x.value() + c.width.value()));
        const int bottom = int(std::lround(c.y.value() + c.height.value()));
        widget->setGeometry(QRect(rect.x() + left, rect.y() + top, std::max(0, right - left),
                                  std::max(0, bottom - top)));
    }
}

void ConstraintLayout::invalidate() {
    m_impl->intrinsicDirty = true;
    m_impl->measured = false;
    QLayout::invalidate();
}

Result<void, LayoutError> ConstraintLayout::install(const LayoutConstraint& constraint) {
    QWidget* first = constraint.firstItem();
    QWidget* second = constraint.secondItem();
    const al::Expression lhs = m_impl->expression(this, first, constraint.firstAttribute());
    const al::Expression rhs =
        second != nullptr ? m_impl->expression(this, second, constraint.secondAttribute()) *
                                    constraint.multiplier() +
                                constraint.constant()
                          : al::Expression(constraint.constant());
    al::Constraint solverConstraint(
        lhs,
        constraint.relation() == LayoutRelation::equal             ? al::Relation::equal
        : constraint.relation() == LayoutRelation::lessThanOrEqual ? al::Relation::lessOrEqual
                                                                   : al::Relation::greaterOrEqual,
        rhs, al::strength::fromPriority(constraint.priority()));
    const auto added = m_impl->solver.addConstraint(solverConstraint);
    if (!added) {
        return Failure{LayoutError{"Unable to satisfy " + constraint.description() + ": " +
                                   added.error().message}};
    }
    m_impl->installed.push_back(Impl::Installed{constraint, solverConstraint, first, second});
    constraint.m_data->host = this;
    invalidate();
    return {};
}

void ConstraintLayout::uninstall(const LayoutConstraint& constraint) {
    auto& installed = m_impl->installed;
    const auto it = std::find_if(installed.begin(), installed.end(),
                                 [&](const auto& entry) { return entry.constraint == constraint; });
    if (it == installed.end()) {
        return;
    }
    (void)m_impl->solver.removeConstraint(it->solverConstraint);
    installed.erase(it);
    constraint.m_data->host = nullptr;
    invalidate();
}

void ConstraintLayout::constantChanged(const LayoutConstraint& constraint) {
    uninstall(constraint);
    const auto reinstalled = install(constraint);
    if (!reinstalled) {
        qWarning("%s", reinstalled.error().message.c_str());
    }
}

}  // namespace tarnwick
