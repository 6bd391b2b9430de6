#pragma once

#include "Foundation/Result.h"
#include "KVBFeedbackSender.h"
#include "KVBValidatedParameters.h"
#include "Network/HTTPRequest.h"
#include "Network/HTTPResult.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {

// Files a report as a new request of a help-desk account through the service's REST interface:
//   1. checks the e-mail, subject and details (nothing goes on the wire when one fails);
//   2. uploads the attached files, then the system profile, one at a time, each upload after the
//      previous one's answer; the first answer's token ties the later uploads to it;
//   3. creates the request with that token under "uploads";
// and reports the outcome once. Every request carries basic authorisation of the requester's
// e-mail with the account's token; its value never reaches a log or an error text.
//
// Steps of a send hold the sender weakly: a sender dropped mid-send completes nothing further.
class KVBHelpDeskFeedbackSender final
    : public KVBFeedbackSender,
      public std::enable_shared_from_this<KVBHelpDeskFeedbackSender> {
public:
    // Hands one request to the network and its outcome to the block, exactly once.
    using Transport = std::function<void(HTTPRequest, std::function<void(HTTPResult)>)>;
    using UploadCompletion =
        std::function<void(std::optional<KVBError>, std::optional<std::string> uploadsToken)>;

    // The service's domain, which follows the account's subdomain in every request's host.
    static constexpr const char* serviceDomain = "helpdesk.brenlow-works.com";

    static std::shared_ptr<KVBHelpDeskFeedbackSender> make(std::string subdomain,
                                                           std::string authToken,
                                                           std::string productName);
    // `serviceURL` replaces "https://<subdomain>.<domain>" (no trailing "/"); `transport` replaces
    // the shared HTTP session.
    // Used for testing only
    static std::shared_ptr<KVBHelpDeskFeedbackSender> make(std::string subdomain,
                                                           std::string authToken,
                                                           std::string productName,
                                                           std::string serviceURL,
                                                           Transport transport = {});

    void sendFeedbackWithParameters(const KVBFeedbackParameters& parameters,
                                    Completion completion) override;

    unsigned maxAttachmentsCount() const override { return m_maxAttachmentsCount; }
    void setMaxAttachmentsCount(unsigned count) override { m_maxAttachmentsCount = count; }
    unsigned maxAttachmentFileSize() const override { return m_maxAttachmentFileSize; }
    void setMaxAttachmentFileSize(unsigned mebibytes) override {
        m_maxAttachmentFileSize = mebibytes;
    }

    const std::string& subdomain() const { return m_subdomain; }
    const std::string& productName() const { return m_productName; }
    // "https://" + subdomain + "." + the service's domain, or the test's replacement.
    const std::string& serviceURL() const { return m_serviceURL; }

    static Result<KVBValidatedParameters, KVBError> validateRequiredParameters(
        const KVBFeedbackParameters& parameters);

    // Uploads the listed files one at a time; a file listed twice goes up once.
    void uploadAttachments(std::vector<std::filesystem::path> attachments,
                           std::optional<std::string> uploadsToken, std::string email,
                           UploadCompletion completion);

    std::string authHeaderValueWithEmail(const std::string& email) const;

    // Nothing when the exchange succeeded (a status from 200 to 299), else the error to report:
    // 109 for a real lack of network (`isPathSatisfied` is the connectivity watch), else 107 for
    // a failure on the way.
    static std::optional<KVBError> validateRequest(const HTTPRequest& request,
                                                   const HTTPResult& result,
                                                   const std::function<bool()>& isPathSatisfied);

    // Replaces the system's routes as the connectivity watch.
    // Used for testing only
    void setPathWatch(std::function<bool()> isPathSatisfied) {
        m_isPathSatisfied = std::move(isPathSatisfied);
    }

    // The JSON text that creates the request; an error 105 when the texts cannot be written as
    // JSON (they are not UTF-8).
    Result<std::string, KVBError> requestBody(const KVBValidatedParameters& parameters,
                                              const std::string& name,
                                              const std::optional<std::string>& uploadsToken) const;

    KVBHelpDeskFeedbackSender(std::string subdomain, std::string authToken, std::string productName,
                              std::string serviceURL, Transport transport);

private:
    HTTPRequest makeRequest(const std::string& pathAndQuery, const std::string& email,
                            const std::string& contentType, std::string body) const;

    std::string m_subdomain;
    std::string m_authToken;
    std::string m_productName;
    std::string m_serviceURL;
    Transport m_transport;
    std::function<bool()> m_isPathSatisfied;
    unsigned m_maxAttachmentsCount = 10;
    unsigned m_maxAttachmentFileSize = 20;
};

}  // namespace tarnwick
