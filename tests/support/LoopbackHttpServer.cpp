#include "LoopbackHttpServer.h"

#include <chrono>
#include <stdexcept>

namespace tarnwick::testing {

LoopbackHttpServer::LoopbackHttpServer() {
    m_server.set_keep_alive_max_count(1);
}

LoopbackHttpServer::~LoopbackHttpServer() {
    m_server.stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void LoopbackHttpServer::start() {
    m_port = m_server.bind_to_any_port("127.0.0.1");
    if (m_port <= 0) {
        throw std::runtime_error("cannot bind a loopback port");
    }
    m_thread = std::thread([this] { m_server.listen_after_bind(); });
    // A stop that comes before the server runs is lost and leaves it listening for ever.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!m_server.is_running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
}

std::string LoopbackHttpServer::baseURL() const {
    return "http://127.0.0.1:" + std::to_string(m_port) + "/";
}

}  // namespace tarnwick::testing
