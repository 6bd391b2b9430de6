#include "KVBHelpDeskFeedbackSender.h"

#include "Foundation/Base64.h"
#include "Foundation/OutsideFile.h"
#include "KVBExtensions.h"
#include "KVBHelpDeskAnswer.h"
#include "Network/HTTPSession.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace tarnwick {

namespace {

HTTPSession& sharedSession() {
    // Never destroyed: a send may still be running while the process ends.
    static auto* session = new HTTPSession(DispatchQueue::global());
    return *session;
}

void sendThroughSharedSession(HTTPRequest request, std::function<void(HTTPResult)> completion) {
    sharedSession().send(request, std::move(completion));
}

const std::string* stringValue(const KVBFeedbackParameters& parameters, const char* key) {
    const auto found = parameters.find(key);
    return found == parameters.end() ? nullptr : std::get_if<std::string>(&found->second);
}

// Attachments are whatever the user picked, a FIFO or a device included; the help desk takes
// far less than this anyway.
constexpr std::uint64_t kMaximumAttachmentBytes = std::uint64_t{64} << 20;

Result<std::string, std::string> readWholeFile(const std::filesystem::path& file) {
    auto bytes = OutsideFile::read(file, kMaximumAttachmentBytes);
    if (!bytes) {
        return Failure{"The file \"" + file.filename().string() + "\" could not be read (" +
                       bytes.error().message + ")"};
    }
    return std::move(*bytes);
}

std::string describeRequest(const HTTPRequest& request) {
    // The URL only: the headers carry the authorisation, which no error text may show.
    return "{ URL: " + request.url + " }";
}

std::string describeResponse(const HTTPResponse& response) {
    return "{ URL: " + response.url + " } { Status Code: " + std::to_string(response.statusCode) +
           " }";
}

}  // namespace

KVBHelpDeskFeedbackSender::KVBHelpDeskFeedbackSender(std::string subdomain, std::string authToken,
                                                     std::string productName,
                                                     std::string serviceURL, Transport transport)
    : m_subdomain(std::move(subdomain))
    , m_authToken(std::move(authToken))
    , m_productName(std::move(productName))
    , m_serviceURL(std::move(serviceURL))
    , m_transport(transport ? std::move(transport) : Transport(&sendThroughSharedSession)) {}

std::shared_ptr<KVBHelpDeskFeedbackSender> KVBHelpDeskFeedbackSender::make(
    std::string subdomain, std::string authToken, std::string productName) {
    std::string serviceURL = "https://" + subdomain + "." + serviceDomain;
    return make(std::move(subdomain), std::move(authToken), std::move(productName),
                std::move(serviceURL));
}

std::shared_ptr<KVBHelpDeskFeedbackSender> KVBHelpDeskFeedbackSender::make(std::string subdomain,
                                                                           std::string authToken,
                                                                           std::string productName,
                                                                           std::string serviceURL,
                                                                           Transport transport) {
    return std::make_shared<KVBHelpDeskFeedbackSender>(std::move(subdomain), std::move(authToken),
                                                       std::move(productName),
                                                       std::move(serviceURL), std::move(transport));
}

Result<KVBValidatedParameters, KVBError> KVBHelpDeskFeedbackSender::validateRequiredParameters(
    const KVBFeedbackParameters& parameters) {
    const std::string* email = stringValue(parameters, KVBParameterKey::email);
    if (!email) {
        return Failure{kvbErrorWithCode(KVBError::invalidParameter,
                                        "Invalid value passed for email parameter.")};
    }
    if (!kvbIsValidEmail(*email)) {
        return Failure{kvbErrorWithCode(KVBError::invalidEmail, "Email string is invalid.")};
    }
    const std::string* subject = stringValue(parameters, KVBParameterKey::subject);
    if (!subject) {
        return Failure{kvbErrorWithCode(KVBError::invalidParameter,
                                        "Invalid value passed for subject parameter.")};
    }
    if (subject->empty()) {
        return Failure{
            kvbErrorWithCode(KVBError::emptySubject, "Subject string should not be empty.")};
    }
    const std::string* details = stringValue(parameters, KVBParameterKey::details);
    if (!details) {
        return Failure{kvbErrorWithCode(KVBError::invalidParameter,
                                        "Invalid value passed for details parameter.")};
    }
    if (details->empty()) {
        return Failure{
            kvbErrorWithCode(KVBError::emptyDetails, "Details string should not be empty.")};
    }
    return KVBValidatedParameters{*email, *subject, *details};
}

std::string KVBHelpDeskFeedbackSender::authHeaderValueWithEmail(const std::string& email) const {
    return "Basic " + base64Encode(email + "/token:" + m_authToken);
}

HTTPRequest KVBHelpDeskFeedbackSender::makeRequest(const std::string& pathAndQuery,
                                                   const std::string& email,
                                                   const std::string& contentType,
                                                   std::string body) const {
    HTTPRequest request;
    request.url = m_serviceURL + pathAndQuery;
    request.method = HTTPRequest::Method::post;
    request.headers = {{"Authorization", authHeaderValueWithEmail(email)},
                       {"Content-Type", contentType}};
    request.body = std::move(body);
    request.maximumResponseSize = KVBHelpDeskAnswer::maximumSize;
    return request;
}

std::optional<KVBError> KVBHelpDeskFeedbackSender::validateRequest(const HTTPRequest& request,
                                                                   const HTTPResult& result) {
    if (const HTTPError* error = result.error()) {
        if (error->code == HTTPError::Code::notConnectedToInternet) {
            return kvbErrorWithCode(KVBError::notConnectedToInternet, "No Internet connection.");
        }
        return kvbErrorWithCode(KVBError::transportFailed,
                                "Failed to send request with error:" + error->message);
    }
    const HTTPResponse& response = *result.response();
    if (response.statusCode >= 200 && response.statusCode <= 299) {
        return std::nullopt;
    }
    return kvbErrorWithCode(KVBError::badResponse,
                            "Bad response returned by request: " + describeRequest(request) +
                                ". Response: " + describeResponse(response));
}

Result<std::string, KVBError> KVBHelpDeskFeedbackSender::requestBody(
    const KVBValidatedParameters& parameters, const std::string& name,
    const std::optional<std::string>& uploadsToken) const {
    nlohmann::ordered_json comment = {{"body", parameters.details}};
    if (uploadsToken) {
        comment["uploads"] = nlohmann::ordered_json::array({*uploadsToken});
    }
    const nlohmann::ordered_json body = {
        {"request",
         {{"requester", {{"email", parameters.email}, {"name", name}}},
          {"subject", "[" + m_productName + "] " + parameters.subject},
          {"comment", comment}}}};
    try {
        return body.dump();
    } catch (const nlohmann::json::exception& error) {
        return Failure{kvbErrorWithCode(KVBError::unserializableRequest, error.what())};
    }
}

void KVBHelpDeskFeedbackSender::sendFeedbackWithParameters(const KVBFeedbackParameters& parameters,
                                                           Completion completion) {
    auto validated = validateRequiredParameters(parameters);
    if (!validated) {
        completion(validated.error());
        return;
    }
    const std::string* givenName = stringValue(parameters, KVBParameterKey::name);
    std::string name = givenName && !givenName->empty() ? *givenName : "Anonymous";

    std::vector<std::filesystem::path> uploads;
    if (const auto found = parameters.find(KVBParameterKey::attachments);
        found != parameters.end()) {
        if (const auto* files = std::get_if<std::vector<std::filesystem::path>>(&found->second)) {
            uploads = *files;
        }
    }
    if (const auto found = parameters.find(KVBParameterKey::systemProfile);
        found != parameters.end()) {
        if (const auto* file = std::get_if<std::filesystem::path>(&found->second)) {
            uploads.push_back(*file);
        }
    }

    std::weak_ptr<KVBHelpDeskFeedbackSender> weakSelf = weak_from_this();
    std::string email = validated->email;  // the block below takes the validated values
    uploadAttachments(std::move(uploads), std::nullopt, std::move(email),
                      [weakSelf, parameters = std::move(*validated), name = std::move(name),
                       completion = std::move(completion)](std::optional<KVBError> error,
                                                           std::optional<std::string> token) {
                          if (error) {
                              completion(std::move(error));
                              return;
                          }
                          auto self = weakSelf.lock();
                          if (!self) {
                              return;
                          }
                          auto body = self->requestBody(parameters, name, token);
                          if (!body) {
                              completion(body.error());
                              return;
                          }
                          HTTPRequest request =
                              self->makeRequest("/api/v2/requests.json", parameters.email,
                                                "application/json", std::move(*body));
                          self->m_transport(request, [request, completion](HTTPResult result) {
                              completion(validateRequest(request, result));
                          });
                      });
}

void KVBHelpDeskFeedbackSender::uploadAttachments(std::vector<std::filesystem::path> attachments,
                                                  std::optional<std::string> uploadsToken,
                                                  std::string email, UploadCompletion completion) {
    if (attachments.empty()) {
        completion(std::nullopt, std::move(uploadsToken));
        return;
    }
    const std::filesystem::path file = attachments.front();
    auto bytes = readWholeFile(file);
    if (!bytes) {
        completion(kvbErrorWithCode(KVBError::unreadableAttachment, bytes.error()), std::nullopt);
        return;
    }
    std::string pathAndQuery =
        "/api/v2/uploads.json?filename=" + kvbPercentEncoded(file.filename().string());
    if (uploadsToken) {
        pathAndQuery += "&token=" + kvbPercentEncoded(*uploadsToken);
    }
    HTTPRequest request = makeRequest(pathAndQuery, email, "application/binary", std::move(*bytes));
    request.timeout = HTTPRequest::defaultTimeout;

    std::erase(attachments, file);
    std::weak_ptr<KVBHelpDeskFeedbackSender> weakSelf = weak_from_this();
    m_transport(request, [weakSelf, request, rest = std::move(attachments),
                          token = std::move(uploadsToken), email = std::move(email),
                          completion = std::move(completion)](HTTPResult result) mutable {
        if (auto error = validateRequest(request, result)) {
            completion(std::move(error), std::nullopt);
            return;
        }
        if (!token) {
            // Without the first answer's token the files cannot be attached to the report, so
            // filing it would lose them without a word.
            token = KVBHelpDeskAnswer::uploadToken(result.response()->body);
            if (!token) {
                completion(kvbErrorWithCode(
                               KVBError::badResponse,
                               "Bad response returned by request: " + describeRequest(request) +
                                   ". Response: " + describeResponse(*result.response())),
                           std::nullopt);
                return;
            }
        }
        auto self = weakSelf.lock();
        if (!self) {
            return;
        }
        self->uploadAttachments(std::move(rest), std::move(token), std::move(email),
                                std::move(completion));
    });
}

}  // namespace tarnwick
