#include "XPCMessage.h"

#include "Foundation/JSONReader.h"
#include "Foundation/ValueJSON.h"

#include <nlohmann/json.hpp>

#include <climits>

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

Result<std::string, std::string> XPCMessage::encodeFrame() const {
    // Written straight into the frame (one per network flow on the extension's link), with the
    // members in the order a JSON document keeps them (by name); the header is filled in last.
    // File names and peer texts are bytes, not always UTF-8: bad sequences become U+FFFD rather
    // than failing the message.
    std::string frame(kHeaderSize, '\0');
    frame.reserve(256);
    frame += '{';
    if (kind != Kind::error) {
        frame += "\"arguments\":[";
        for (std::size_t index = 0; index < arguments.size(); ++index) {
            if (index > 0) {
                frame += ',';
            }
            appendJSON(frame, arguments[index]);
        }
        frame += "],";
    } else {
        frame += "\"description\":";
        appendJSONString(frame, description);
        frame += ',';
    }
    if (kind == Kind::invoke) {
        frame += expectsReply ? "\"expectsReply\":true," : "\"expectsReply\":false,";
    }
    frame += "\"id\":" + std::to_string(id) + ",\"kind\":\"" + kindName(kind) + '"';
    if (kind == Kind::invoke) {
        frame += ",\"selector\":";
        appendJSONString(frame, selector);
    }
    frame += ",\"version\":" + std::to_string(version) + '}';
    const std::string_view body = std::string_view(frame).substr(kHeaderSize);
    if (body.size() > kMaximumFrameSize) {
        return Failure{"a message of " + std::to_string(body.size()) + " bytes, more than " +
                       std::to_string(kMaximumFrameSize)};
    }
    const auto length = static_cast<std::uint32_t>(body.size());
    frame[0] = static_cast<char>((length >> 24) & 0xff);
    frame[1] = static_cast<char>((length >> 16) & 0xff);
    frame[2] = static_cast<char>((length >> 8) & 0xff);
    frame[3] = static_cast<char>(length & 0xff);
    return frame;
}

Result<XPCMessage, std::string> XPCMessage::decodeBody(std::string_view body) {
    auto parsed = JSONReader::parse(body);
    if (!parsed) {
        return Failure{"the frame is not JSON (" + parsed.error() + ")"};
    }
    const Json& json = *parsed;
    if (!json.is_object()) {
        return Failure{"the frame is not a JSON object"};
    }
    XPCMessage message;
    const auto version = json.find("version");
    if (version == json.end() || !version->is_number_integer()) {
        return Failure{"the frame has no protocol version"};
    }
    // A version beyond the range of ours must not wrap onto one of ours.
    const bool versionFits =
        version->is_number_unsigned()
            ? version->get<std::uint64_t>() <= INT_MAX
            : version->get<std::int64_t>() >= INT_MIN && version->get<std::int64_t>() <= INT_MAX;
    if (!versionFits) {
        return Failure{"the frame's protocol version " + version->dump() + " is out of range"};
    }
    message.version = version->get<int>();
    const auto id = json.find("id");
    if (id == json.end() || !id->is_number_unsigned()) {
        return Failure{"the frame has no message id"};
    }
    message.id = id->get<std::uint64_t>();
    const auto kind = json.find("kind");
    if (kind == json.end() || !kind->is_string()) {
        return Failure{"the frame has no kind"};
    }
    const auto kindText = kind->get<std::string>();
    if (kindText == "invoke") {
        message.kind = Kind::invoke;
    } else if (kindText == "reply") {
        message.kind = Kind::reply;
    } else if (kindText == "error") {
        message.kind = Kind::error;
    } else {
        return Failure{"the frame has an unknown kind \"" + kindText + "\""};
    }
    if (message.kind == Kind::invoke) {
        const auto selector = json.find("selector");
        if (selector == json.end() || !selector->is_string()) {
            return Failure{"the invocation has no selector"};
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
        return Failure{"the frame has no argument list"};
    }
    for (const auto& argument : *arguments) {
        message.arguments.push_back(valueFromJson(argument));
    }
    return message;
}

}  // namespace tarnwick
