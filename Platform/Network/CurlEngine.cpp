#include "CurlEngine.h"

#include "Foundation/Text.h"
#include "OSLog/OSLog.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <string>
#include <thread>
#include <utility>

namespace tarnwick {

namespace {

constexpr long kMaximumRedirects = 10;

bool hasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos || text.find('\0') != std::string::npos;
}

}  // namespace

HTTPError::Code httpErrorCodeForTransfer(int curlCode, int systemError) {
    const auto code = static_cast<CURLcode>(curlCode);
    if (code == CURLE_COULDNT_CONNECT && systemError == ENETUNREACH) {
        return HTTPError::Code::notConnectedToInternet;
    }
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            return HTTPError::Code::timedOut;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
            return HTTPError::Code::cannotResolveHost;
        case CURLE_COULDNT_CONNECT:
            return HTTPError::Code::cannotConnect;
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
            return HTTPError::Code::connectionLost;
        case CURLE_FILESIZE_EXCEEDED:
            return HTTPError::Code::responseTooLarge;
        case CURLE_URL_MALFORMAT:
        case CURLE_UNSUPPORTED_PROTOCOL:
            return HTTPError::Code::invalidRequest;
        default:
            return HTTPError::Code::transport;
    }
}

bool isLackOfNetwork(HTTPError::Code code, const std::function<bool()>& isPathSatisfied) {
    switch (code) {
        case HTTPError::Code::timedOut:
        case HTTPError::Code::notConnectedToInternet:
        case HTTPError::Code::connectionLost:
            return true;
        case HTTPError::Code::cannotResolveHost:
            return !isPathSatisfied || !isPathSatisfied();
        case HTTPError::Code::invalidRequest:
        case HTTPError::Code::cancelled:
        case HTTPError::Code::cannotConnect:
        case HTTPError::Code::responseTooLarge:
        case HTTPError::Code::transport:
            return false;
    }
    return false;
}

struct CurlEngine::Transfer {
    TransferID id = 0;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    std::string requestBody;
    std::size_t maximumResponseSize = 0;
    bool tooLarge = false;
    HTTPResponse response;
    std::array<char, CURL_ERROR_SIZE> errorBuffer{};
    Finish onFinish;

    ~Transfer() {
        if (easy) {
            curl_easy_cleanup(easy);
        }
        curl_slist_free_all(headerList);
    }

    static std::size_t write(char* data, std::size_t size, std::size_t count, void* context) {
        auto& transfer = *static_cast<Transfer*>(context);
        const std::size_t length = size * count;
        if (transfer.response.body.size() + length > transfer.maximumResponseSize) {
            transfer.tooLarge = true;
            return 0;  // makes libcurl abort the transfer
        }
        transfer.response.body.append(data, length);
        return length;
    }

    static std::size_t header(char* data, std::size_t size, std::size_t count, void* context) {
        auto& transfer = *static_cast<Transfer*>(context);
        const std::size_t length = size * count;
        const std::string line(data, length);
        if (line.rfind("HTTP/", 0) == 0) {
            // A new status line starts the headers of the next answer (after a redirect or an
            // interim answer); only the final answer's headers are kept.
            transfer.response.headers.clear();
        } else if (const auto colon = line.find(':'); colon != std::string::npos) {
            const std::string_view field(line);
            transfer.response.headers.emplace_back(trimmed(field.substr(0, colon)),
                                                   trimmed(field.substr(colon + 1)));
        }
        return length;
    }
};

CurlEngine& CurlEngine::shared() {
    // Never destroyed: its thread runs for the life of the process.
    static auto* engine = new CurlEngine;
    return *engine;
}

CurlEngine::CurlEngine() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    m_multi = curl_multi_init();
    // At most six connections to one host at a time, as desktop HTTP clients keep by default: a
    // scan that asks hundreds of questions of one service queues them instead of opening
    // hundreds of connections at once, which a server's listen queue drops.
    curl_multi_setopt(m_multi, CURLMOPT_MAX_HOST_CONNECTIONS, 6L);
    m_thread = std::jthread([this] { run(); });
}

void CurlEngine::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    wakeUp();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
        m_thread.join();
    }
}

CurlEngine::TransferID CurlEngine::makeTransferID() {
    std::lock_guard lock(m_mutex);
    return m_nextID++;
}

void CurlEngine::start(TransferID id, const HTTPRequest& request, Finish finish) {
    auto transfer = std::make_unique<Transfer>();
    transfer->id = id;
    transfer->onFinish = std::move(finish);

    const auto reject = [&](std::string message) {
        auto onFinish = std::move(transfer->onFinish);
        transfer.reset();
        onFinish(HTTPError{HTTPError::Code::invalidRequest, std::move(message)});
    };

    if (request.url.empty() || hasLineBreak(request.url)) {
        return reject("invalid URL");
    }
    for (const auto& header : request.headers) {
        if (header.name.empty() || hasLineBreak(header.name) || hasLineBreak(header.value) ||
            header.name.find(':') != std::string::npos) {
            return reject("invalid header " + header.name);
        }
    }

    CURL* easy = curl_easy_init();
    if (!easy) {
        return reject("cannot create a transfer");
    }
    transfer->easy = easy;
    transfer->maximumResponseSize = request.maximumResponseSize;
    transfer->requestBody = request.body;

    const auto timeout =
        request.timeout.count() > 0 ? request.timeout : HTTPRequest::defaultTimeout;
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, request.followsRedirects ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaximumRedirects);
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(request.maximumResponseSize));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::write);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::header);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorBuffer.data());

    if (request.method == HTTPRequest::Method::post) {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, transfer->requestBody.data());
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(transfer->requestBody.size()));
    } else {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    }

    if (request.basicAuthentication) {
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(easy, CURLOPT_USERNAME, request.basicAuthentication->user.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, request.basicAuthentication->password.c_str());
    }

    for (const auto& header : request.headers) {
        // "Name;" is how libcurl sends a header whose value is empty.
        const std::string line =
            header.value.empty() ? header.name + ";" : header.name + ": " + header.value;
        transfer->headerList = curl_slist_append(transfer->headerList, line.c_str());
    }
    if (request.method == HTTPRequest::Method::post) {
        // libcurl would otherwise wait for a "100 Continue" before sending larger bodies.
        transfer->headerList = curl_slist_append(transfer->headerList, "Expect:");
    }
    if (transfer->headerList) {
        curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headerList);
    }

    {
        std::unique_lock lock(m_mutex);
        if (!m_stopping) {
            m_pending.push_back(std::move(transfer));
        }
    }
    if (transfer) {
        auto onFinish = std::move(transfer->onFinish);
        transfer.reset();
        onFinish(HTTPError{HTTPError::Code::cancelled, "cancelled"});
        return;
    }
    wakeUp();
}

void CurlEngine::cancel(TransferID transfer) {
    {
        std::lock_guard lock(m_mutex);
        m_cancellations.push_back(transfer);
    }
    wakeUp();
}

void CurlEngine::wakeUp() {
    curl_multi_wakeup(static_cast<CURLM*>(m_multi));
}

void CurlEngine::finish(Transfer& transfer, HTTPResult result) {
    auto onFinish = std::move(transfer.onFinish);
    m_active.erase(transfer.id);  // destroys the transfer
    if (onFinish) {
        onFinish(std::move(result));
    }
}

void CurlEngine::run() {
    auto* multi = static_cast<CURLM*>(m_multi);
    for (;;) {
        std::vector<std::unique_ptr<Transfer>> added;
        std::vector<TransferID> cancelled;
        bool stopping = false;
        {
            std::lock_guard lock(m_mutex);
            added.swap(m_pending);
            cancelled.swap(m_cancellations);
            stopping = m_stopping;
        }
        if (stopping) {
            // Nothing is added after this; every transfer gets its one answer before the thread
            // ends.
            for (auto& transfer : added) {
                Transfer& ref = *transfer;
                m_active.emplace(ref.id, std::move(transfer));
                finish(ref, HTTPError{HTTPError::Code::cancelled, "cancelled"});
            }
            while (!m_active.empty()) {
                Transfer& transfer = *m_active.begin()->second;
                curl_multi_remove_handle(multi, transfer.easy);
                finish(transfer, HTTPError{HTTPError::Code::cancelled, "cancelled"});
            }
            return;
        }
        for (auto& transfer : added) {
            Transfer& ref = *transfer;
            m_active.emplace(ref.id, std::move(transfer));
            if (const CURLMcode code = curl_multi_add_handle(multi, ref.easy); code != CURLM_OK) {
                finish(ref, HTTPError{HTTPError::Code::transport, curl_multi_strerror(code)});
            }
        }
        for (const TransferID id : cancelled) {
            // A transfer that already finished is no longer here; its cancellation came too late.
            if (auto found = m_active.find(id); found != m_active.end()) {
                curl_multi_remove_handle(multi, found->second->easy);
                finish(*found->second, HTTPError{HTTPError::Code::cancelled, "cancelled"});
            }
        }

        int running = 0;
        curl_multi_perform(multi, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            CURL* easy = message->easy_handle;
            const CURLcode code = message->data.result;
            Transfer* transfer = nullptr;
            curl_easy_getinfo(easy, CURLINFO_PRIVATE, &transfer);
            curl_multi_remove_handle(multi, easy);
            if (!transfer) {
                continue;
            }
            if (code == CURLE_OK) {
                long status = 0;
                curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
                char* effectiveURL = nullptr;
                curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effectiveURL);
                transfer->response.statusCode = status;
                transfer->response.url = effectiveURL ? effectiveURL : "";
                HTTPResponse response = std::move(transfer->response);
                finish(*transfer, std::move(response));
            } else if (transfer->tooLarge) {
                finish(*transfer, HTTPError{HTTPError::Code::responseTooLarge,
                                            "the answer is larger than allowed"});
            } else {
                std::string text = transfer->errorBuffer[0] != '\0'
                                       ? std::string(transfer->errorBuffer.data())
                                       : std::string(curl_easy_strerror(code));
                long systemError = 0;
                curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &systemError);
                finish(*transfer,
                       HTTPError{httpErrorCodeForTransfer(code, static_cast<int>(systemError)),
                                 std::move(text)});
            }
        }

        if (const CURLMcode code = curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
            code != CURLM_OK) {
            osLog(std::string("HTTP engine cannot wait for sockets: ") + curl_multi_strerror(code),
                  OSLogType::error);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
}

}  // namespace tarnwick
