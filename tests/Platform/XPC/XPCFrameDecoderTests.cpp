#include "Foundation/ValueJSON.h"
#include "XPC/XPCFrameDecoder.h"
#include "XPC/XPCMessage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace tarnwick {
namespace {

std::string frame(const std::string& body) {
    const auto length = static_cast<std::uint32_t>(body.size());
    std::string bytes{static_cast<char>(length >> 24), static_cast<char>(length >> 16),
                      static_cast<char>(length >> 8), static_cast<char>(length)};
    return bytes + body;
}

XPCMessage prompt() {
    XPCMessage message;
    message.version = 1;
    message.kind = XPCMessage::Kind::invoke;
    message.id = 42;
    message.selector = "promptUserWithAboutFlow:responseHandler:";
    message.arguments = {
        Value(Value::Dictionary{{"aza", Value("example.test")}, {"localPort", Value("8080")}}),
        Value(Value::Data{0, 255, 7}), Value(std::int64_t{-3}), Value(2.5), Value()};
    message.expectsReply = true;
    return message;
}

TEST(XPCFrameDecoder, MessagesSurviveTheWireInAnyPieces) {
    const auto bytes = prompt().encodeFrame().value() + prompt().encodeFrame().value();
    for (std::size_t piece : {bytes.size(), std::size_t{1}, std::size_t{5}}) {
        SCOPED_TRACE(piece);
        XPCFrameDecoder decoder;
        std::vector<XPCMessage> messages;
        for (std::size_t offset = 0; offset < bytes.size(); offset += piece) {
            ASSERT_TRUE(decoder.feed(std::string_view(bytes).substr(offset, piece), messages));
        }
        EXPECT_TRUE(decoder.finish());
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[1].id, 42u);
        EXPECT_EQ(messages[1].selector, prompt().selector);
        EXPECT_TRUE(messages[1].expectsReply);
        EXPECT_EQ(messages[1].arguments, prompt().arguments);
    }
}

TEST(XPCFrameDecoder, TheWireFormatIsLengthPrefixedJson) {
    XPCMessage reply;
    reply.version = 1;
    reply.kind = XPCMessage::Kind::reply;
    reply.id = 7;
    reply.arguments = {Value(true)};
    EXPECT_EQ(reply.encodeFrame().value(),
              frame(R"({"arguments":[true],"id":7,"kind":"reply","version":1})"));
}

TEST(XPCFrameDecoder, FramesAreWrittenAsTheJsonDocumentWouldBe) {
    // Frames are written without building a document; the bytes must be those of the document,
    // escapes, non-ASCII text and bytes that are not UTF-8 included.
    const Value::Dictionary texts{
        {"plain", Value("example.test")},
        {"quote\"back\\slash", Value("tab\tnew\nline\x01\x1f\x7f")},
        {"utf8", Value("Gr\xc3\xbc\xc3\x9f \xe2\x82\xac \xf0\x9f\x94\x92")},
        {"broken", Value(std::string("a\xff\xc3(b\xe2\x82", 8))},
        {"", Value(std::string("nul\0in", 6))}};
    const Value::Array values{Value(),
                              Value(true),
                              Value(false),
                              Value(std::int64_t{-9223372036854775807 - 1}),
                              Value(std::int64_t{9223372036854775807}),
                              Value(0.1),
                              Value(-2.5e-300),
                              Value(1e21),
                              Value(Value::Data{}),
                              Value(Value::Data{0, 255, 7, 8}),
                              Value(Value::Array{}),
                              Value(Value::Dictionary{}),
                              Value(texts),
                              Value(Value::Array{Value(texts), Value(Value::Array{Value(1)})})};
    XPCMessage invoke = prompt();
    invoke.selector = "se\"lector\xff";
    invoke.arguments = values;
    XPCMessage reply;
    reply.kind = XPCMessage::Kind::reply;
    reply.id = 18446744073709551615u;
    reply.version = -1;
    XPCMessage error;
    error.kind = XPCMessage::Kind::error;
    error.description = "no \"such\" object\n\xc3";
    for (const XPCMessage& message : {invoke, reply, error, prompt()}) {
        nlohmann::json document = {{"version", message.version}, {"id", message.id}};
        document["kind"] = message.kind == XPCMessage::Kind::invoke  ? "invoke"
                           : message.kind == XPCMessage::Kind::reply ? "reply"
                                                                     : "error";
        if (message.kind == XPCMessage::Kind::invoke) {
            document["selector"] = message.selector;
            document["expectsReply"] = message.expectsReply;
        }
        if (message.kind == XPCMessage::Kind::error) {
            document["description"] = message.description;
        } else {
            document["arguments"] = nlohmann::json::array();
            for (const auto& argument : message.arguments) {
                document["arguments"].push_back(jsonFromValue(argument));
            }
        }
        EXPECT_EQ(message.encodeFrame().value(),
                  frame(document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)));
    }
}

TEST(XPCFrameDecoder, BadStreamsAreRefusedCleanly) {
    const std::string valid = R"({"version":1,"kind":"reply","id":1,"arguments":[]})";
    const std::string oversized = std::string("\x00\x10\x00\x01", 4);  // 1 MiB + 1
    struct Row {
        const char* name;
        std::string bytes;
    };
    const Row rows[] = {
        {"oversized length, refused before its body arrives", oversized},
        {"empty frame", frame("")},
        {"not JSON", frame("{\"version\":1,")},
        {"not an object", frame("[1,2,3]")},
        {"no version", frame(R"({"kind":"reply","id":1,"arguments":[]})")},
        {"version not a number", frame(R"({"version":"1","kind":"reply","id":1,"arguments":[]})")},
        // 2^32 + 1 once wrapped onto version 1.
        {"version out of range",
         frame(R"({"version":4294967297,"kind":"reply","id":1,"arguments":[]})")},
        {"negative version out of range",
         frame(R"({"version":-4294967295,"kind":"reply","id":1,"arguments":[]})")},
        // Twenty thousand levels once overflowed the stack of the listening process.
        {"arguments nested too deeply",
         frame(R"({"version":1,"kind":"reply","id":1,"arguments":[)" + std::string(20000, '[') +
               std::string(20000, ']') + "]}")},
        {"negative id", frame(R"({"version":1,"kind":"reply","id":-1,"arguments":[]})")},
        {"unknown kind", frame(R"({"version":1,"kind":"shout","id":1,"arguments":[]})")},
        {"invocation without selector",
         frame(R"({"version":1,"kind":"invoke","id":1,"arguments":[]})")},
        {"arguments not a list", frame(R"({"version":1,"kind":"reply","id":1,"arguments":{}})")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        XPCFrameDecoder decoder;
        std::vector<XPCMessage> messages;
        // A good frame first: it is delivered, the bad one stops the stream for good.
        EXPECT_TRUE(decoder.feed(frame(valid), messages));
        const auto refused = decoder.feed(row.bytes, messages);
        ASSERT_FALSE(refused);
        EXPECT_FALSE(refused.error().empty());
        EXPECT_TRUE(decoder.failed());
        EXPECT_FALSE(decoder.feed(frame(valid), messages));
        EXPECT_EQ(messages.size(), 1u);
    }
}

TEST(XPCFrameDecoder, StreamEndingInsideAFrameIsTruncated) {
    const auto bytes = prompt().encodeFrame().value();
    for (std::size_t cut : {std::size_t{2}, std::size_t{4}, bytes.size() - 1}) {
        SCOPED_TRACE(cut);
        XPCFrameDecoder decoder;
        std::vector<XPCMessage> messages;
        EXPECT_TRUE(decoder.feed(bytes.substr(0, cut), messages));
        EXPECT_TRUE(messages.empty());
        const auto finished = decoder.finish();
        ASSERT_FALSE(finished);
        EXPECT_NE(finished.error().find("inside a frame"), std::string::npos);
    }
}

TEST(XPCFrameDecoder, MessageLargerThanAFrameIsNotEncoded) {
    XPCMessage message = prompt();
    message.arguments = {Value(std::string(XPCMessage::kMaximumFrameSize, 'x'))};
    const auto encoded = message.encodeFrame();
    ASSERT_FALSE(encoded);
    EXPECT_NE(encoded.error().find("more than 1048576"), std::string::npos);
}

}  // namespace
}  // namespace tarnwick
