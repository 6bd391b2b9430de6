#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace tarnwick {

// The form's texts and icon. Every setter announces the change, and the form refreshes itself
// from the settings it shows.
class KVBInterfaceSettings : public QObject {
    Q_OBJECT

public:
    // A new instance with the default texts on every call.
    static std::shared_ptr<KVBInterfaceSettings> defaultSettings();
    // The names of the properties the form follows.
    static QStringList observableProperties();

    const QImage& icon() const { return m_icon; }
    void setIcon(QImage icon);
    QSize iconSize() const { return m_iconSize; }
    void setIconSize(QSize size);
    const QString& title() const { return m_title; }
    void setTitle(QString title);
    const QString& subtitle() const { return m_subtitle; }
    void setSubtitle(QString subtitle);
    const QStringList& subjectOptions() const { return m_subjectOptions; }
    void setSubjectOptions(QStringList options);
    const QString& namePlaceholder() const { return m_namePlaceholder; }
    void setNamePlaceholder(QString text);
    const QString& emailPlaceholder() const { return m_emailPlaceholder; }
    void setEmailPlaceholder(QString text);
    const QString& detailsPlaceholder() const { return m_detailsPlaceholder; }
    void setDetailsPlaceholder(QString text);
    const QString& defaultName() const { return m_defaultName; }
    void setDefaultName(QString name);
    const QString& defaultEmail() const { return m_defaultEmail; }
    void setDefaultEmail(QString email);

signals:
    // The name of the property that changed, one of `observableProperties()`.
    void changed(const QString& property);

private:
    QImage m_icon;
    QSize m_iconSize{64, 64};
    QString m_title;
    QString m_subtitle;
    QStringList m_subjectOptions;
    QString m_namePlaceholder;
    QString m_emailPlaceholder;
    QString m_detailsPlaceholder;
    QString m_defaultName;
    QString m_defaultEmail;
};

}  // namespace tarnwick
