#pragma once

#include <QString>

namespace tarnwick {

// Every user-visible text of the feedback library: the English text is the key of the library's
// translations, and is itself the answer when there is no translation. The comment only tells
// translators what the text is for.
QString kvbLocalizedString(const char* english, const char* comment);

}  // namespace tarnwick
