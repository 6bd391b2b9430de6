#include "Screens/AppMonitor/Views/UninstallPopUpView.h"

#include "Screens/AppMonitor/ApplicationRemoval.h"
#include "Screens/AppMonitor/PUApplication.h"
#include "Screens/AppMonitor/Views/ViewText.h"
#include "WidgetKit/Style/Appearance.h"

#include <QFontMetrics>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace tarnwick {

using namespace appmonitorviews;

namespace {

// The card's plate: the window background, a touch brighter in the dark appearance so it stands
// off the list behind it.
class Card : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor background = Appearance::color(NamedColor::windowBackgroundColor());
        if (Appearance::isDark()) {
            background = QColor::fromHslF(background.hslHueF(), background.hslSaturationF(),
                                          std::min(1.0f, background.lightnessF() + 0.01f));
        }
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 30, 30);
        painter.fillPath(path, background);
    }
};

}  // namespace

std::optional<UninstallPopUpView::ActionButton::Role>
UninstallPopUpView::ActionButton::roleFromRawValue(std::string_view rawValue) {
    if (rawValue == "cancel") {
        return Role::cancel;
    }
    if (rawValue == "uninstall") {
        return Role::uninstall;
    }
    return std::nullopt;
}

std::string_view UninstallPopUpView::ActionButton::rawValue(Role role) {
    return role == Role::cancel ? "cancel" : "uninstall";
}

UninstallPopUpView::ActionButton::ActionButton(Role role, std::function<void(bool)> action,
                                               QWidget* parent)
    : QAbstractButton(parent), m_role(role) {
    QString caption = qtext(rawValue(role));
    caption[0] = caption[0].toUpper();
    setText(caption);
    setObjectName(qtext(rawValue(role)));
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    QFont captionFont = font();
    captionFont.setWeight(role == Role::cancel ? QFont::DemiBold : QFont::Bold);
    setFont(captionFont);
    connect(this, &QAbstractButton::clicked, this,
            [role, action = std::move(action)] { action(role == Role::uninstall); });
}

QSize UninstallPopUpView::ActionButton::sizeHint() const {
    const QSize textSize = fontMetrics().size(Qt::TextSingleLine, text());
    return QSize(std::max(90, textSize.width() + 16) + 4, textSize.height() + 16 + 12);
}

void UninstallPopUpView::ActionButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF plate = QRectF(rect()).adjusted(2, 6, -2, -6);
    QColor background;
    QColor caption;
    if (m_role == Role::cancel) {
        background = Appearance::secondaryLabelColor(this);
        background.setAlphaF(0.2f);
        caption = palette().color(QPalette::WindowText);
        caption.setAlphaF(0.9f);
    } else {
        background = Appearance::color(NamedColor::cellButtonDeleteColor());
        background.setAlphaF(0.3f);
        caption = Appearance::color(NamedColor::cellButtonDeleteColor());
    }
    QPainterPath path;
    path.addRoundedRect(plate, 5, 5);
    painter.fillPath(path, background);
    if (hasFocus()) {
        painter.setPen(QPen(caption, 1));
        painter.drawPath(path);
    }
    painter.setPen(caption);
    painter.setFont(font());
    painter.drawText(plate, Qt::AlignCenter, text());
}

UninstallPopUpView::UninstallPopUpView(QIcon appIcon, QString appName,
                                       std::function<void(bool)> confimationAction, QWidget* parent)
    : QWidget(parent), m_question(QStringLiteral("Uninstall %1?").arg(appName)) {
    setObjectName(QStringLiteral("UninstallPopUpView"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 64);
    outer->addStretch();

    m_card = new Card(this);
    m_card->setObjectName(QStringLiteral("card"));
    m_card->setMaximumHeight(maximumCardHeight);
    auto* shadow = new QGraphicsDropShadowEffect(m_card);
    shadow->setColor(QColor(0, 0, 0, int(0.33 * 255)));
    shadow->setBlurRadius(4);
    shadow->setOffset(0, 0);
    m_card->setGraphicsEffect(shadow);
    auto* column = new QVBoxLayout(m_card);
    column->setContentsMargins(30, 30, 30, 8);
    column->addStretch();
    auto* icon = new QLabel(m_card);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(appIcon.pixmap(QSize(96, 96), devicePixelRatioF()));
    icon->setAlignment(Qt::AlignCenter);
    icon->setContentsMargins(0, 0, 0, 8);
    m_icon = icon;
    m_appIcon = std::move(appIcon);
    column->addWidget(icon, 0, Qt::AlignHCenter);
    m_questionLabel = new QLabel(m_question, m_card);
    m_questionLabel->setObjectName(QStringLiteral("question"));
    // The application's name is the scanned file's: its markup is shown, never rendered.
    m_questionLabel->setTextFormat(Qt::PlainText);
    QFont headline = m_questionLabel->font();
    headline.setWeight(QFont::DemiBold);
    m_questionLabel->setFont(headline);
    m_questionLabel->setContentsMargins(6, 6, 6, 6);
    m_questionLabel->setAlignment(Qt::AlignCenter);
    m_questionLabel->setWordWrap(true);
    setTextColor(m_questionLabel, Appearance::secondaryLabelColor(this));
    column->addWidget(m_questionLabel, 0, Qt::AlignHCenter);
    auto* buttons = new QHBoxLayout();
    const auto answer = [confimationAction = std::move(confimationAction)](bool uninstall) {
        confimationAction(uninstall);
    };
    m_cancel = new ActionButton(ActionButton::Role::cancel, answer, m_card);
    m_uninstall = new ActionButton(ActionButton::Role::uninstall, answer, m_card);
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_uninstall);
    column->addLayout(buttons);
    outer->addWidget(m_card, 0, Qt::AlignHCenter);
    outer->addStretch();
    setFocusProxy(m_cancel);
    fitQuestion();
}

void UninstallPopUpView::fitQuestion() {
    // A package's question runs to a few lines: the card grows wide rather than tall, and a
    // smaller icon leaves the lines room within the card's height.
    constexpr int widest = 460;
    const QFontMetrics metrics(m_questionLabel->font());
    const int margins =
        m_questionLabel->contentsMargins().left() + m_questionLabel->contentsMargins().right();
    const int oneLine = metrics.horizontalAdvance(m_question) + margins + 2;
    m_questionLabel->setFixedWidth(std::min(oneLine, widest));
    // Laid out beside a stretch, the label would get the height of its own guess at a width.
    m_questionLabel->setFixedHeight(m_questionLabel->heightForWidth(m_questionLabel->width()));
    const int iconSide = oneLine > widest ? 48 : 96;
    m_icon->setPixmap(m_appIcon.pixmap(QSize(iconSide, iconSide), devicePixelRatioF()));
}

QString UninstallPopUpView::question() const {
    return m_question;
}

QString UninstallPopUpView::questionFor(const PUApplication& application) {
    const auto& origin = application.origin();
    if (!origin || origin->kind == ApplicationOrigin::Kind::bundle) {
        return QStringLiteral("Uninstall %1?").arg(qtext(application.name()));
    }
    return qtext(ApplicationRemoval::confirmation(application.name(), *origin));
}

std::optional<QString> UninstallPopUpView::refusalFor(const PUApplication& application) {
    const auto& origin = application.origin();
    if (!origin || origin->kind == ApplicationOrigin::Kind::bundle) {
        return std::nullopt;
    }
    if (ApplicationRemoval::command(*origin)) {
        return std::nullopt;
    }
    if (origin->kind == ApplicationOrigin::Kind::desktopEntry) {
        return QStringLiteral(
            "No package manager installed this application, so it cannot be removed here. Remove "
            "its files by hand.");
    }
    return QStringLiteral(
               "%1 cannot be removed here: the name it was installed under cannot be "
               "passed on safely.")
        .arg(qtext(application.name()));
}

void UninstallPopUpView::setRemovable(bool removable) {
    m_uninstall->setEnabled(removable);
    m_uninstall->setVisible(removable);
}

void UninstallPopUpView::setQuestion(const QString& question) {
    m_question = question;
    m_questionLabel->setText(question);
    fitQuestion();
}

void UninstallPopUpView::mousePressEvent(QMouseEvent* event) {
    if (!m_card->geometry().contains(event->position().toPoint()) && onTapOutside) {
        onTapOutside();
    }
    event->accept();
}

void UninstallPopUpView::keyPressEvent(QKeyEvent* event) {
    // Escape is the keyboard's way of tapping beside the card.
    if (event->key() == Qt::Key_Escape && onTapOutside) {
        onTapOutside();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace tarnwick
