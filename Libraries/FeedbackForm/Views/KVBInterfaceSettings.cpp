#include "KVBInterfaceSettings.h"

#include "KVBLocalizedString.h"

namespace tarnwick {

std::shared_ptr<KVBInterfaceSettings> KVBInterfaceSettings::defaultSettings() {
    auto settings = std::make_shared<KVBInterfaceSettings>();
    settings->m_title = kvbLocalizedString("Provide Feedback", "Feedback form title.");
    settings->m_subtitle = kvbLocalizedString(
        "Please provide a detailed description of your problem, suggestion, bug-report or question "
        "so that we have a clear picture of your request and react to it with maximum "
        "effectiveness.",
        "Feedback form description.");
    settings->m_subjectOptions = {
        kvbLocalizedString("Feedback", "Feedback subject option."),
        kvbLocalizedString("Support Request", "Feedback subject option."),
        kvbLocalizedString("Bug Report", "Feedback subject option."),
    };
    settings->m_namePlaceholder =
        kvbLocalizedString("Jane Appleseed",
                           "Customer name field placeholder. Any generic name and surname specific "
                           "to the language, nothing too funny though.");
    settings->m_emailPlaceholder = QStringLiteral("jane.appleseed@example.com");
    settings->m_detailsPlaceholder =
        kvbLocalizedString("Write your message here...", "Feedback details field placeholder.");
    return settings;
}

QStringList KVBInterfaceSettings::observableProperties() {
    return {QStringLiteral("icon"),
            QStringLiteral("iconSize"),
            QStringLiteral("title"),
            QStringLiteral("subtitle"),
            QStringLiteral("subjectOptions"),
            QStringLiteral("namePlaceholder"),
            QStringLiteral("emailPlaceholder"),
            QStringLiteral("detailsPlaceholder"),
            QStringLiteral("defaultName"),
            QStringLiteral("defaultEmail")};
}

void KVBInterfaceSettings::setIcon(QImage icon) {
    m_icon = std::move(icon);
    emit changed(QStringLiteral("icon"));
}

void KVBInterfaceSettings::setIconSize(QSize size) {
    m_iconSize = size;
    emit changed(QStringLiteral("iconSize"));
}

void KVBInterfaceSettings::setTitle(QString title) {
    m_title = std::move(title);
    emit changed(QStringLiteral("title"));
}

void KVBInterfaceSettings::setSubtitle(QString subtitle) {
    m_subtitle = std::move(subtitle);
    emit changed(QStringLiteral("subtitle"));
}

void KVBInterfaceSettings::setSubjectOptions(QStringList options) {
    m_subjectOptions = std::move(options);
    emit changed(QStringLiteral("subjectOptions"));
}

void KVBInterfaceSettings::setNamePlaceholder(QString text) {
    m_namePlaceholder = std::move(text);
    emit changed(QStringLiteral("namePlaceholder"));
}

void KVBInterfaceSettings::setEmailPlaceholder(QString text) {
    m_emailPlaceholder = std::move(text);
    emit changed(QStringLiteral("emailPlaceholder"));
}

void KVBInterfaceSettings::setDetailsPlaceholder(QString text) {
    m_detailsPlaceholder = std::move(text);
    emit changed(QStringLiteral("detailsPlaceholder"));
}

void KVBInterfaceSettings::setDefaultName(QString name) {
    m_defaultName = std::move(name);
    emit changed(QStringLiteral("defaultName"));
}

void KVBInterfaceSettings::setDefaultEmail(QString email) {
    m_defaultEmail = std::move(email);
    emit changed(QStringLiteral("defaultEmail"));
}

}  // namespace tarnwick
