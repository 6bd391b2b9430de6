#pragma once

#include "HTTPError.h"
#include "HTTPResponse.h"

#include <utility>
#include <variant>

namespace tarnwick {

// The outcome of one request: an answer from a server, or the reason there is none.
class HTTPResult {
public:
    HTTPResult(HTTPResponse response) : m_value(std::move(response)) {}
    HTTPResult(HTTPError error) : m_value(std::move(error)) {}

    bool succeeded() const { return std::holds_alternative<HTTPResponse>(m_value); }
    const HTTPResponse* response() const { return std::get_if<HTTPResponse>(&m_value); }
    const HTTPError* error() const { return std::get_if<HTTPError>(&m_value); }

private:
    std::variant<HTTPResponse, HTTPError> m_value;
};

}  // namespace tarnwick
