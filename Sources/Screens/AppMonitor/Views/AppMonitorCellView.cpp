#include "Screens/AppMonitor/Views/AppMonitorCellView.h"

#include "Screens/AppMonitor/PUApplication.h"
#include "Screens/AppMonitor/Views/ApplicationIcon.h"
#include "Screens/AppMonitor/Views/ViewText.h"
#include "WidgetKit/Style/Appearance.h"
#include "WidgetKit/Style/ImageAsset.h"
#include "WidgetKit/Style/Typeface.h"

#include <QAbstractButton>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include <functional>

namespace tarnwick {

using namespace appmonitorviews;

namespace {

// A flat button on a rounded "cellButtonColor" plate that grows a little under the pointer.
class CellButton : public QAbstractButton {
public:
    CellButton(double hoverScale, QWidget* parent) : QAbstractButton(parent), m_scale(hoverScale) {
        setCursor(Qt::PointingHandCursor);
        setAttribute(Qt::WA_Hover);
    }
    void setSymbol(std::string symbol) { m_symbol = std::move(symbol); }
    std::function<void()> onFocusChanged;

protected:
    void focusInEvent(QFocusEvent* event) override {
        QAbstractButton::focusInEvent(event);
        if (onFocusChanged) {
            onFocusChanged();
        }
    }
    void focusOutEvent(QFocusEvent* event) override {
        QAbstractButton::focusOutEvent(event);
        if (onFocusChanged) {
            onFocusChanged();
        }
    }
    void enterEvent(QEnterEvent* event) override {
        m_hovered = true;
        update();
        QAbstractButton::enterEvent(event);
    }
    void leaveEvent(QEvent* event) override {
        m_hovered = false;
        update();
        QAbstractButton::leaveEvent(event);
    }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const double scale = m_hovered ? m_scale : 1.0;
        const QPointF centre = QRectF(rect()).center();
        painter.translate(centre);
        painter.scale(scale, scale);
        painter.translate(-centre);
        // Drawn inside the widget at full scale, so the grown plate still fits.
        const QRectF plate = QRectF(rect()).adjusted(2, 2, -2, -2);
        QPainterPath path;
        path.addRoundedRect(plate, 5, 5);
        painter.fillPath(path, Appearance::color(NamedColor::cellButtonColor()));
        if (hasFocus()) {
            painter.setPen(QPen(palette().color(QPalette::Highlight), 1));
            painter.drawPath(path);
        }
        if (!m_symbol.empty()) {
            const QSize size(14, 14);
            const QPixmap symbol = ImageAsset::tinted(
                m_symbol, size, Appearance::color(NamedColor::cellButtonDeleteColor()),
                devicePixelRatioF());
            painter.drawPixmap(QPointF(centre.x() - 7, centre.y() - 7), symbol);
            return;
        }
        QFont font = this->font();
        painter.setFont(font);
        painter.setPen(Appearance::color(NamedColor::cellButtonItemColor()));
        painter.drawText(plate, Qt::AlignCenter, text());
    }

private:
    double m_scale;
    bool m_hovered = false;
    std::string m_symbol;
};

}  // namespace

AppMonitorCellView::AppMonitorCellView(std::shared_ptr<PUApplication> model,
                                       Callback removalCallback, Callback showInFileManager,
                                       QWidget* parent)
    : QWidget(parent), m_model(std::move(model)) {
    setObjectName(QStringLiteral("AppMonitorCellView"));
    setAttribute(Qt::WA_Hover);
    setMinimumHeight(minimumHeight);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* row = new QHBoxLayout();
    row->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(row, 1);
    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setFixedHeight(1);
    QColor dividerColour = palette().color(QPalette::WindowText);
    dividerColour.setAlphaF(0.12f);
    QPalette dividerPalette = divider->palette();
    dividerPalette.setColor(QPalette::WindowText, dividerColour);
    divider->setPalette(dividerPalette);
    outer->addWidget(divider);

    // Icon and name.
    auto* identity = new QWidget(this);
    identity->setMinimumWidth(280);
    auto* identityRow = new QHBoxLayout(identity);
    identityRow->setContentsMargins(0, 0, 0, 0);
    m_icon = new QLabel(identity);
    m_icon->setObjectName(QStringLiteral("icon"));
    m_icon->setFixedSize(50, minimumHeight);
    m_icon->setAlignment(Qt::AlignLeading | Qt::AlignVCenter);
    m_icon->setPixmap(
        ApplicationIcon::of(*m_model).pixmap(QSize(iconSize, iconSize), devicePixelRatioF()));
    identityRow->addWidget(m_icon);
    auto* name = new QLabel(qtext(m_model->name()), identity);
    name->setObjectName(QStringLiteral("name"));
    // Names and reasons come from the scanned files: markup in them is shown, never rendered.
    name->setTextFormat(Qt::PlainText);
    name->setFont(Typeface::font(typefaceFace::light, 14));
    name->setWordWrap(true);
    identityRow->addWidget(name, 1);
    row->addWidget(identity, 3);
    row->addStretch(1);

    // One line per reason, in the analyser's order.
    auto* reasons = new QWidget(this);
    reasons->setObjectName(QStringLiteral("reasons"));
    reasons->setMinimumWidth(240);
    reasons->setMaximumWidth(400);
    auto* reasonColumn = new QVBoxLayout(reasons);
    reasonColumn->setContentsMargins(0, 8, 0, 8);
    reasonColumn->setSpacing(4);
    reasonColumn->addStretch();
    for (const auto& reason : m_model->reasons()) {
        auto* line = new QLabel(qtext(reason.descriptionText()), reasons);
        line->setObjectName(QStringLiteral("reason"));
        line->setTextFormat(Qt::PlainText);
        line->setFont(Typeface::font(typefaceFace::light, 13));
        line->setWordWrap(true);
        setTextColor(line, Appearance::secondaryLabelColor(this));
        reasonColumn->addWidget(line);
    }
    reasonColumn->addStretch();
    row->addWidget(reasons, 4);
    row->addStretch(1);

    // The buttons, shown while the pointer is over the row.
    auto* buttons = new QWidget(this);
    buttons->setMinimumWidth(200);
    buttons->setFixedHeight(34);
    auto* buttonRow = new QHBoxLayout(buttons);
    buttonRow->setContentsMargins(0, 0, 8, 0);
    buttonRow->setSpacing(10);
    buttonRow->addStretch();
    auto* show = new CellButton(1.04, buttons);
    show->setObjectName(QStringLiteral("showInFileManager"));
    show->setText(QStringLiteral("Show in File Manager"));
    QFont showFont = Typeface::font(typefaceFace::light, 12);
    show->setFont(showFont);
    show->setFixedHeight(32);
    show->setMinimumWidth(
        std::max(110, QFontMetrics(showFont).horizontalAdvance(show->text()) + 24));
    m_showButton = show;
    buttonRow->addWidget(show);
    auto* remove = new CellButton(1.06, buttons);
    remove->setObjectName(QStringLiteral("delete"));
    remove->setSymbol("trash.fill");
    remove->setToolTip(QStringLiteral("Uninstall"));
    remove->setFixedSize(32, 32);
    m_deleteButton = remove;
    buttonRow->addWidget(remove);
    m_buttonsOpacity = new QGraphicsOpacityEffect(buttons);
    m_buttonsOpacity->setOpacity(0.0);
    buttons->setGraphicsEffect(m_buttonsOpacity);
    row->addWidget(buttons, 0, Qt::AlignVCenter);

    // A keyboard user reaches the buttons without a pointer: they show while one has the focus.
    show->onFocusChanged = [this] { setHovered(m_isHovered); };
    remove->onFocusChanged = [this] { setHovered(m_isHovered); };
    connect(show, &QAbstractButton::clicked, this,
            [this, showInFileManager = std::move(showInFileManager)] {
                if (showInFileManager) {
                    showInFileManager(m_model);
                }
            });
    connect(remove, &QAbstractButton::clicked, this,
            [this, removalCallback = std::move(removalCallback)] {
                if (removalCallback) {
                    removalCallback(m_model);
                }
            });
}

double AppMonitorCellView::buttonsOpacity() const {
    return m_buttonsOpacity->opacity();
}

void AppMonitorCellView::enterEvent(QEnterEvent* event) {
    setHovered(true);
    QWidget::enterEvent(event);
}

void AppMonitorCellView::leaveEvent(QEvent* event) {
    setHovered(false);
    QWidget::leaveEvent(event);
}

void AppMonitorCellView::setHovered(bool hovered) {
    m_isHovered = hovered;
    const bool focused = m_showButton->hasFocus() || m_deleteButton->hasFocus();
    m_buttonsOpacity->setOpacity(hovered || focused ? 1.0 : 0.0);
}

}  // namespace tarnwick
