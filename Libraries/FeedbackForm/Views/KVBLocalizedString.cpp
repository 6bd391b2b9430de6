#include "KVBLocalizedString.h"

#include <QCoreApplication>

namespace tarnwick {

QString kvbLocalizedString(const char* english, const char* comment) {
    return QCoreApplication::translate("KVBFeedbackForm", english, comment);
}

}  // namespace tarnwick
