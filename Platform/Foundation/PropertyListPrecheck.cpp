#include "PropertyListPrecheck.h"

#include "ByteReader.h"
#include "Value.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace tarnwick {

namespace {

using Check = Result<void, std::string>;

Check refuse(std::string reason) {
    return Failure{std::move(reason)};
}

std::string tooDeep() {
    return "arrays and dictionaries nested deeper than " + std::to_string(Value::kMaximumDepth) +
           " levels";
}

// ---- Binary ----------------------------------------------------------------------------------

// A big-endian number of 1 to 8 bytes.
std::optional<std::uint64_t> readNumber(const ByteReader& reader, std::size_t offset,
                                        std::size_t width) {
    if (width == 0 || width > 8 || !reader.contains(offset, width)) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        value = (value << 8) | *reader.u8(offset + i);
    }
    return value;
}

// What the walk needs of one object: the references a container holds, or the payload a string
// or data object carries.
struct BinaryObject {
    bool container = false;
    std::size_t references = 0;  // offset of the first reference
    std::size_t referenceCount = 0;
    std::size_t payload = 0;
};

class BinaryWalk {
public:
    explicit BinaryWalk(std::string_view bytes) : m_reader(bytes.data(), bytes.size()) {}

    Check run();

private:
    struct Totals {
        std::uint32_t nodes = 1;
        std::uint32_t payload = 0;
        std::uint16_t height = 0;  // containers on the longest path down, this one included
    };
    struct Frame {
        std::uint64_t index;
        BinaryObject object;
        std::size_t next = 0;
        Totals totals;
    };
    enum class State : std::uint8_t { unseen, open, done };

    Result<BinaryObject, std::string> readObject(std::uint64_t index);
    // Adds a finished child to its parent, refusing what grows past a limit.
    Check add(Totals& parent, const Totals& child, std::size_t parentDepth) const;

    ByteReader m_reader;
    std::size_t m_offsetSize = 0;
    std::size_t m_referenceSize = 0;
    std::uint64_t m_objectCount = 0;
    std::uint64_t m_tableOffset = 0;
    // Bytes of references and payload read so far. The objects of a well-formed document do not
    // overlap, so more than the document's size means objects laid over one another to make the
    // walk (and libplist's) quadratic.
    std::size_t m_bytesRead = 0;
    std::vector<State> m_state;
    std::vector<Totals> m_totals;
};

Result<BinaryObject, std::string> BinaryWalk::readObject(std::uint64_t index) {
    const auto offset =
        readNumber(m_reader, m_tableOffset + index * m_offsetSize, m_offsetSize).value_or(0);
    if (offset < 8 || offset >= m_tableOffset) {
        return Failure{"object " + std::to_string(index) + " lies outside the object area"};
    }
    const std::uint8_t marker = *m_reader.u8(offset);
    const int type = marker >> 4;
    BinaryObject object;
    if (type != 0x4 && type != 0x5 && type != 0x6 && type != 0x7 && type != 0xA && type != 0xB &&
        type != 0xC && type != 0xD) {
        return object;  // a number, date, Boolean or UID: fixed size, no references
    }
    std::uint64_t count = marker & 0x0F;
    std::size_t start = offset + 1;
    if (count == 0x0F) {
        const auto sizeMarker = m_reader.u8(offset + 1);
        if (!sizeMarker || (*sizeMarker >> 4) != 0x1 || (*sizeMarker & 0x0F) > 3) {
            return Failure{"object " + std::to_string(index) + " has a malformed length"};
        }
        const std::size_t width = std::size_t{1} << (*sizeMarker & 0x0F);
        const auto length = readNumber(m_reader, offset + 2, width);
        if (!length) {
            return Failure{"object " + std::to_string(index) + " is cut short"};
        }
        count = *length;
        start = offset + 2 + width;
    }
    // Counts beyond the document's size cannot be backed by bytes; refusing them first keeps the
    // products below from overflowing.
    if (count > m_reader.size()) {
        return Failure{"object " + std::to_string(index) + " is cut short"};
    }
    std::size_t length = 0;
    if (type >= 0xA) {
        object.container = true;
        object.references = start;
        object.referenceCount = static_cast<std::size_t>(type == 0xD ? count * 2 : count);
        length = object.referenceCount * m_referenceSize;
    } else {
        object.payload = static_cast<std::size_t>(type == 0x6 ? count * 2 : count);
        length = object.payload;
    }
    const auto body = m_reader.span(start, length);
    if (!body || start + length > m_tableOffset) {
        return Failure{"object " + std::to_string(index) + " is cut short"};
    }
    m_bytesRead += length;
    if (m_bytesRead > m_reader.size()) {
        return Failure{std::string("objects overlap one another")};
    }
    const bool text = type == 0x5 || type == 0x6 || type == 0x7;
    if (text && type != 0x6 && std::memchr(body->data(), 0, body->size()) != nullptr) {
        return Failure{std::string("a string or key holds a NUL character")};
    }
    if (type == 0x6) {
        for (std::size_t i = 0; i + 1 < body->size(); i += 2) {
            if ((*body)[i] == 0 && (*body)[i + 1] == 0) {
                return Failure{std::string("a string or key holds a NUL character")};
            }
        }
    }
    return object;
}

Check BinaryWalk::add(Totals& parent, const Totals& child, std::size_t parentDepth) const {
    if (parentDepth + child.height > Value::kMaximumDepth) {
        return refuse(tooDeep());
    }
    parent.height = std::max<std::uint16_t>(parent.height, child.height + 1);
    parent.nodes = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        std::uint64_t{parent.nodes} + child.nodes, PropertyListPrecheck::kMaximumNodes + 1));
    parent.payload = static_cast<std::uint32_t>(std::min<std::uint64_t>(
        std::uint64_t{parent.payload} + child.payload, PropertyListPrecheck::kMaximumPayload + 1));
    if (parent.nodes > PropertyListPrecheck::kMaximumNodes) {
        return refuse("more than " + std::to_string(PropertyListPrecheck::kMaximumNodes) +
                      " objects once shared ones are counted each time they are used");
    }
    if (parent.payload > PropertyListPrecheck::kMaximumPayload) {
        return refuse("more than " + std::to_string(PropertyListPrecheck::kMaximumPayload) +
                      " bytes of strings and data once shared ones are counted each time");
    }
    return {};
}

Check BinaryWalk::run() {
    // The trailer: six unused bytes, the offset and reference sizes, the object count, the top
    // object and where the offset table starts.
    const std::size_t size = m_reader.size();
    if (size < 8 + 32) {
        return refuse("a binary property list too short for its trailer");
    }
    const std::size_t trailer = size - 32;
    m_offsetSize = *m_reader.u8(trailer + 6);
    m_referenceSize = *m_reader.u8(trailer + 7);
    m_objectCount = *m_reader.u64(trailer + 8, ByteReader::Order::big);
    const std::uint64_t top = *m_reader.u64(trailer + 16, ByteReader::Order::big);
    m_tableOffset = *m_reader.u64(trailer + 24, ByteReader::Order::big);
    if (m_offsetSize == 0 || m_offsetSize > 8 || m_referenceSize == 0 || m_referenceSize > 8 ||
        m_tableOffset < 8 || m_tableOffset > trailer || m_objectCount == 0 ||
        m_objectCount > (trailer - m_tableOffset) / m_offsetSize || top >= m_objectCount) {
        return refuse("a binary property list with a malformed trailer");
    }
    if (m_objectCount > PropertyListPrecheck::kMaximumNodes) {
        return refuse("more than " + std::to_string(PropertyListPrecheck::kMaximumNodes) +
                      " objects");
    }
    m_state.assign(m_objectCount, State::unseen);
    m_totals.assign(m_objectCount, Totals{});

    std::vector<Frame> stack;
    auto visit = [&](std::uint64_t index) -> Result<bool, std::string> {
        auto object = readObject(index);
        if (!object) {
            return Failure{object.error()};
        }
        if (!object->container) {
            m_state[index] = State::done;
            m_totals[index] =
                Totals{1,
                       static_cast<std::uint32_t>(
                           std::min(object->payload, PropertyListPrecheck::kMaximumPayload + 1)),
                       0};
            return false;
        }
        if (stack.size() >= Value::kMaximumDepth) {
            return Failure{tooDeep()};
        }
        m_state[index] = State::open;
        stack.push_back(Frame{index, *object, 0, Totals{1, 0, 1}});
        return true;
    };

    if (auto pushed = visit(top); !pushed) {
        return refuse(pushed.error());
    }
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.next == frame.object.referenceCount) {
            m_state[frame.index] = State::done;
            m_totals[frame.index] = frame.totals;
            const Totals finished = frame.totals;
            stack.pop_back();
            if (!stack.empty()) {
                if (auto added = add(stack.back().totals, finished, stack.size()); !added) {
                    return added;
                }
            }
            continue;
        }
        const auto child = readNumber(
            m_reader, frame.object.references + frame.next * m_referenceSize, m_referenceSize);
        ++frame.next;
        if (!child || *child >= m_objectCount) {
            return refuse("a reference to an object that does not exist");
        }
        switch (m_state[*child]) {
            case State::open:
                return refuse("an object that contains itself");
            case State::done:
                if (auto added = add(frame.totals, m_totals[*child], stack.size()); !added) {
                    return added;
                }
                break;
            case State::unseen: {
                const std::size_t depth = stack.size();
                auto pushed = visit(*child);
                if (!pushed) {
                    return refuse(pushed.error());
                }
                if (!*pushed) {
                    // `frame` may not be used after a push; a leaf pushes nothing.
                    if (auto added = add(stack[depth - 1].totals, m_totals[*child], depth);
                        !added) {
                        return added;
                    }
                }
                break;
            }
        }
    }
    return {};
}

// ---- XML -------------------------------------------------------------------------------------

bool startsWith(std::string_view text, std::size_t at, std::string_view prefix) {
    return text.compare(at, prefix.size(), prefix) == 0;
}

// Where `terminator` ends, searching from `from`; the end of the text when it never comes.
std::size_t after(std::string_view text, std::size_t from, std::string_view terminator) {
    const auto found = text.find(terminator, from);
    return found == text.npos ? text.size() : found + terminator.size();
}

// The first of `stops` at or after `from` that is outside single or double quotes.
std::size_t findUnquoted(std::string_view text, std::size_t from, std::string_view stops) {
    for (std::size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"' || c == '\'') {
            const auto close = text.find(c, i + 1);
            if (close == text.npos) {
                return text.size();
            }
            i = close;
        } else if (stops.find(c) != stops.npos) {
            return i;
        }
    }
    return text.size();
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Whether the "<" at `at` may open an array or a dictionary: anything but the empty forms
// "<array/>" and "<dict />" counts, wherever it stands.
bool mayOpenContainer(std::string_view text, std::size_t at) {
    std::size_t end = 0;
    if (startsWith(text, at, "<array")) {
        end = at + 6;
    } else if (startsWith(text, at, "<dict")) {
        end = at + 5;
    } else {
        return false;
    }
    while (end < text.size() && isSpace(text[end])) {
        ++end;
    }
    return !startsWith(text, end, "/>");
}

bool closesContainer(std::string_view text, std::size_t at) {
    for (std::string_view name : {"</array", "</dict"}) {
        if (startsWith(text, at, name)) {
            const std::size_t end = at + name.size();
            return end < text.size() && (text[end] == '>' || isSpace(text[end]));
        }
    }
    return false;
}

// Steps over the markup that starts at the "<" at `at`: a comment, character data, a processing
// instruction, a declaration or a tag, reaching past anything libplist might skip. Quotes count
// wherever libplist could honour them, since skipping too far only leaves closings uncounted.
std::size_t skipMarkup(std::string_view text, std::size_t at) {
    if (startsWith(text, at, "<!--")) {
        return after(text, at + 4, "-->");
    }
    if (startsWith(text, at, "<![CDATA[")) {
        return after(text, at + 9, "]]>");
    }
    if (startsWith(text, at, "<?")) {
        return after(text, at + 2, "?>");
    }
    if (startsWith(text, at, "<!")) {
        const std::size_t stop = findUnquoted(text, at + 2, "[>");
        if (stop < text.size() && text[stop] == '[') {
            // An internal subset runs to the first "]>" outside quotes.
            for (std::size_t from = stop + 1;;) {
                const std::size_t end = findUnquoted(text, from, "]");
                if (end >= text.size() || startsWith(text, end, "]>")) {
                    return std::min(end + 2, text.size());
                }
                from = end + 1;
            }
        }
        return stop < text.size() ? stop + 1 : stop;
    }
    const std::size_t end = findUnquoted(text, at + 1, ">");
    return end < text.size() ? end + 1 : end;
}

}  // namespace

Check PropertyListPrecheck::check(std::string_view bytes) {
    if (bytes.substr(0, 8) == "bplist00") {
        return checkBinary(bytes);
    }
    return checkXml(bytes);
}

Check PropertyListPrecheck::checkBinary(std::string_view bytes) {
    return BinaryWalk(bytes).run();
}

Check PropertyListPrecheck::checkXml(std::string_view bytes) {
    if (bytes.find('\0') != bytes.npos) {
        return refuse("a NUL character in the document");
    }
    // Opened counts every opening wherever it stands; closed only counts closings where markup
    // starts, so the difference never falls below the nesting libplist builds at that point.
    std::size_t opened = 0;
    std::size_t closed = 0;
    std::size_t markup = 0;  // where the next markup may start
    for (std::size_t at = bytes.find('<'); at != bytes.npos; at = bytes.find('<', at + 1)) {
        if (mayOpenContainer(bytes, at)) {
            ++opened;
            if (opened > closed && opened - closed > Value::kMaximumDepth) {
                return refuse(tooDeep());
            }
        }
        if (at >= markup) {
            if (closesContainer(bytes, at) && closed < opened) {
                ++closed;
            }
            markup = skipMarkup(bytes, at);
        }
    }
    return {};
}

}  // namespace tarnwick
