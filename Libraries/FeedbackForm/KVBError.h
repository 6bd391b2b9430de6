#pragma once

#include <string>
#include <string_view>

namespace tarnwick {

// A failure of the feedback library: a code of its own domain and the text a user may read.
struct KVBError {
    static constexpr std::string_view domain = "com.brenlow.KVBFeedbackForm.default-error-domain";

    enum Code : int {
        invalidParameter = 101,
        invalidEmail = 102,
        emptySubject = 103,
        emptyDetails = 104,
        unserializableRequest = 105,
        unreadableAttachment = 106,
        transportFailed = 107,
        badResponse = 108,
        notConnectedToInternet = 109,
    };

    int code = 0;
    std::string localizedDescription;

    bool operator==(const KVBError&) const = default;
};

inline KVBError kvbErrorWithCode(int code, std::string description) {
    return KVBError{code, std::move(description)};
}

}  // namespace tarnwick
