#pragma once

#include <httplib.h>

#include <string>
#include <thread>

namespace tarnwick::testing {

// An HTTP server on 127.0.0.1 at a port the system picks. Add routes to `routes()`, then
// `start()`; it stops when dropped. One request per connection, so stopping never waits for idle
// keep-alive connections.
class LoopbackHttpServer {
public:
    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    httplib::Server& routes() { return m_server; }
    // Returns once the server accepts connections.
    void start();

    int port() const { return m_port; }
    // "http://127.0.0.1:<port>/"
    std::string baseURL() const;

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
};

}  // namespace tarnwick::testing
