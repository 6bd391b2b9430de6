#include "XPCReply.h"

#include "XPCConnectionCore.h"

#include <atomic>

namespace tarnwick {

struct XPCReply::State {
    std::weak_ptr<XPCConnectionCore> connection;
    std::uint64_t messageId = 0;
    int version = 0;
    std::atomic<bool> answered{false};

    void send(XPCMessage message) {
        if (answered.exchange(true)) {
            return;
        }
        if (auto core = connection.lock()) {
            message.id = messageId;
            message.version = version;
            core->sendAnswer(std::move(message));
        }
    }

    ~State() {
        XPCMessage message;
        message.kind = XPCMessage::Kind::error;
        message.description = "The exported object did not answer the message.";
        send(std::move(message));
    }
};

XPCReply::XPCReply(std::weak_ptr<XPCConnectionCore> connection, std::uint64_t messageId,
                   int version)
    : m_state(std::make_shared<State>()) {
    m_state->connection = std::move(connection);
    m_state->messageId = messageId;
    m_state->version = version;
}

void XPCReply::operator()(Value::Array arguments) const {
    if (!m_state) {
        return;
    }
    XPCMessage message;
    message.kind = XPCMessage::Kind::reply;
    message.arguments = std::move(arguments);
    m_state->send(std::move(message));
}

void XPCReply::fail(const std::string& description) const {
    if (!m_state) {
        return;
    }
    XPCMessage message;
    message.kind = XPCMessage::Kind::error;
    message.description = description;
    m_state->send(std::move(message));
}

}  // namespace tarnwick
