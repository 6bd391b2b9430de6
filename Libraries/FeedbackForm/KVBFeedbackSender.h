#pragma once

#include "KVBError.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tarnwick {

// One value of a report's parameters. A value of another kind than a key expects counts as absent.
using KVBParameterValue = std::variant<std::string, std::int64_t, std::filesystem::path,
                                       std::vector<std::filesystem::path>>;
using KVBFeedbackParameters = std::map<std::string, KVBParameterValue>;

// The keys of a report.
namespace KVBParameterKey {
inline constexpr const char* name = "name";
inline constexpr const char* email = "email";
inline constexpr const char* subject = "subject";
inline constexpr const char* details = "details";
inline constexpr const char* attachments = "attachments";
inline constexpr const char* systemProfile = "system_profile";
}  // namespace KVBParameterKey

// What the feedback form hands one filled-in report to. The completion runs exactly once, with no
// error when the report was filed; it may run on any thread.
class KVBFeedbackSender {
public:
    using Completion = std::function<void(std::optional<KVBError>)>;

    virtual ~KVBFeedbackSender() = default;

    virtual void sendFeedbackWithParameters(const KVBFeedbackParameters& parameters,
                                            Completion completion) = 0;

    // The largest number of attached files; 0 = no limit.
    virtual unsigned maxAttachmentsCount() const = 0;
    virtual void setMaxAttachmentsCount(unsigned count) = 0;
    // The largest size of one attached file in mebibytes; 0 = no limit.
    virtual unsigned maxAttachmentFileSize() const = 0;
    virtual void setMaxAttachmentFileSize(unsigned mebibytes) = 0;
};

}  // namespace tarnwick
