#pragma once

#include "support/LoopbackHttpServer.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tarnwick::testing {

// A geo-IP service on 127.0.0.1 at a port picked by the system. It answers
// "/v1/geoip/ip/<address>/info" with the body set for that address (or the default body) and
// remembers the addresses it was asked about.
class GeoIPTestServer {
public:
    GeoIPTestServer() {
        m_http.routes().Get(R"(/v1/geoip/ip/([^/]+)/info)", [this](const httplib::Request& request,
                                                                   httplib::Response& response) {
            std::lock_guard lock(m_mutex);
            const std::string address = request.matches[1];
            m_asked.push_back(address);
            const auto found = m_answers.find(address);
            response.status = m_status;
            response.set_content(found != m_answers.end() ? found->second : m_defaultAnswer,
                                 "application/json");
        });
        m_http.start();
    }
    std::string service() const { return m_http.baseURL(); }

    void setAnswer(const std::string& address, std::string body) {
        std::lock_guard lock(m_mutex);
        m_answers[address] = std::move(body);
    }
    void setDefaultAnswer(std::string body) {
        std::lock_guard lock(m_mutex);
        m_defaultAnswer = std::move(body);
    }
    void setStatus(int status) {
        std::lock_guard lock(m_mutex);
        m_status = status;
    }
    // The addresses asked for, in order, as they appeared in the request path.
    std::vector<std::string> asked() const {
        std::lock_guard lock(m_mutex);
        return m_asked;
    }

private:
    mutable std::mutex m_mutex;
    std::map<std::string, std::string> m_answers;
    std::string m_defaultAnswer =
        R"({"country": {"isoCode": "us"}, "city": {"lat": 1, "long": 2}})";
    int m_status = 200;
    std::vector<std::string> m_asked;
    // Last, so it stops before the state its routes use goes away.
    LoopbackHttpServer m_http;
};

// A server whose first `failures` connections are closed without a word (a failed transfer for
// the client); later ones get `body` as a plain HTTP answer.
class DroppingServer {
public:
    DroppingServer(int failures, std::string body) : m_failures(failures), m_body(std::move(body)) {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(m_listener, 16);
        socklen_t length = sizeof(address);
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        if (pipe(m_stop) != 0) {
            std::abort();
        }
        m_thread = std::thread([this] { run(); });
    }
    ~DroppingServer() {
        [[maybe_unused]] const auto written = write(m_stop[1], "x", 1);
        m_thread.join();
        close(m_listener);
        close(m_stop[0]);
        close(m_stop[1]);
    }

    std::string service() const { return "http://127.0.0.1:" + std::to_string(m_port) + "/"; }
    int connections() const { return m_connections; }

private:
    void run() {
        for (;;) {
            pollfd waits[2] = {{m_stop[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
            if (poll(waits, 2, -1) < 0 || waits[0].revents != 0) {
                return;
            }
            const int client = accept(m_listener, nullptr, nullptr);
            if (client < 0) {
                continue;
            }
            if (m_connections++ >= m_failures) {
                answer(client);
            }
            close(client);
        }
    }

    void answer(int client) const {
        std::string request;
        char buffer[1024];
        while (request.find("\r\n\r\n") == std::string::npos) {
            pollfd wait{client, POLLIN, 0};
            if (poll(&wait, 1, 5000) <= 0) {
                return;
            }
            const ssize_t received = recv(client, buffer, sizeof(buffer), 0);
            if (received <= 0) {
                return;
            }
            request.append(buffer, static_cast<std::size_t>(received));
        }
        const std::string reply =
            "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(m_body.size()) +
            "\r\nConnection: close\r\n\r\n" + m_body;
        [[maybe_unused]] const auto sent = send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
    }

    const int m_failures;
    const std::string m_body;
    int m_listener = -1;
    int m_port = 0;
    int m_stop[2] = {-1, -1};
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};

}  // namespace tarnwick::testing
