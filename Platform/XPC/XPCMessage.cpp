#include "XPCMessage.h"

#include "Foundation/ValueJSON.h"

#include <nlohmann/json.hpp>

namespace tarnwick {

namespace {

using Json = nlohmann::json;

const char* kindName(XPCMessage::Kind kind) {
    switch (kind) {
        case XPCMessage::Kind::invoke:
            return "invoke";
        case XPCMessage::Kind::reply:
            return "reply";
        case XPCMessage::Kind::error:
            return "error";
    }
    return "invoke";
}

}  // namespace

std::optional<std::string> XPCMessage::encodeFrame() const {
    Json json = {{"version", version}, {"kind", kindName(kind)}, {"id", id}};
    if (kind == Kind::invoke) {
        json["selector"] = selector;
        json["expectsReply"] = expectsReply;
    }
    if (kind != Kind::error) {
        Json array = Json::array();
        for (const auto& argument : arguments) {
            array.push_back(jsonFromValue(argument));
        }
        json["arguments"] = std::move(array);
    } else {
        json["description"] = description;
    }
    // File names and peer texts are bytes, not always UTF-8: bad sequences become U+FFFD rather
    // than failing the message.
    const std::string body = json.dump(-1, ' ', false, Json::error_handler_t::replace);
    if (body.size() > kMaximumFrameSize) {
        return std::nullopt;
    }
    std::string frame;
    frame.reserve(kHeaderSize + body.size());
    const auto length = static_cast<std::uint32_t>(body.size());
    frame.push_back(static_cast<char>((length >> 24) & 0xff));
    frame.push_back(static_cast<char>((length >> 16) & 0xff));
    frame.push_back(static_cast<char>((length >> 8) & 0xff));
    frame.push_back(static_cast<char>(length & 0xff));
    frame += body;
    return frame;
}

std::optional<XPCMessage> XPCMessage::decodeBody(std::string_view body, std::string& error) {
    const Json json = Json::parse(body, nullptr, false);
    if (json.is_discarded()) {
        error = "the frame is not JSON";
        return std::nullopt;
    }
    if (!json.is_object()) {
        error = "the frame is not a JSON object";
        return std::nullopt;
    }
    XPCMessage message;
    const auto version = json.find("version");
    if (version == json.end() || !version->is_number_integer()) {
        error = "the frame has no protocol version";
        return std::nullopt;
    }
    message.version = version->get<int>();
    const auto id = json.find("id");
    if (id == json.end() || !id->is_number_unsigned()) {
        error = "the frame has no message id";
        return std::nullopt;
    }
    message.id = id->get<std::uint64_t>();
    const auto kind = json.find("kind");
    if (kind == json.end() || !kind->is_string()) {
        error = "the frame has no kind";
        return std::nullopt;
    }
    const auto kindText = kind->get<std::string>();
    if (kindText == "invoke") {
        message.kind = Kind::invoke;
    } else if (kindText == "reply") {
        message.kind = Kind::reply;
    } else if (kindText == "error") {
        message.kind = Kind::error;
    } else {
        error = "the frame has an unknown kind \"" + kindText + "\"";
        return std::nullopt;
    }
    if (message.kind == Kind::invoke) {
        const auto selector = json.find("selector");
        if (selector == json.end() || !selector->is_string()) {
            error = "the invocation has no selector";
            return std::nullopt;
        }
        message.selector = selector->get<std::string>();
        const auto expectsReply = json.find("expectsReply");
        message.expectsReply =
            expectsReply != json.end() && expectsReply->is_boolean() && expectsReply->get<bool>();
    }
    if (message.kind == Kind::error) {
        const auto description = json.find("description");
        if (description != json.end() && description->is_string()) {
            message.description = description->get<std::string>();
        }
        return message;
    }
    const auto arguments = json.find("arguments");
    if (arguments == json.end() || !arguments->is_array()) {
        error = "the frame has no argument list";
        return std::nullopt;
    }
    for (const auto& argument : *arguments) {
        message.arguments.push_back(valueFromJson(argument));
    }
    return message;
}

}  // namespace tarnwick
