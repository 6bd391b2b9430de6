#include "ElfFixture.h"

namespace tarnwick::testing {

namespace {

class Writer {
public:
    Writer(std::string& out, bool bigEndian) : m_out(out), m_big(bigEndian) {}
    void put(std::uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const int shift = m_big ? (bytes - 1 - i) * 8 : i * 8;
            m_out.push_back(static_cast<char>((value >> shift) & 0xff));
        }
    }

private:
    std::string& m_out;
    bool m_big;
};

}  // namespace

std::string buildElf(const ElfFixture& fixture) {
    const bool wide = fixture.wide;
    const std::size_t headerSize = wide ? 64 : 52;
    const std::size_t entrySize = wide ? 64 : 40;
    // Section 0 is the null section; the names table comes last.
    std::string names(1, '\0');
    std::vector<std::uint32_t> nameOffsets;
    for (const auto& section : fixture.sections) {
        nameOffsets.push_back(static_cast<std::uint32_t>(names.size()));
        names += section.name + '\0';
    }
    const auto namesName = static_cast<std::uint32_t>(names.size());
    names += std::string(".shstrtab") + '\0';

    std::string body;
    std::vector<std::uint64_t> offsets;
    for (const auto& section : fixture.sections) {
        offsets.push_back(headerSize + body.size());
        body += section.bytes;
    }
    const std::uint64_t namesOffset = headerSize + body.size();
    body += names;
    const std::uint64_t tableOffset = headerSize + body.size();
    const std::size_t count = fixture.sections.size() + 2;

    std::string out;
    Writer w(out, fixture.bigEndian);
    out +=
        "\x7f"
        "ELF";
    out.push_back(wide ? 2 : 1);
    out.push_back(fixture.bigEndian ? 2 : 1);
    out.push_back(1);
    out.append(1, '\0');
    if (fixture.appImage) {
        out += "AI";
        out.push_back(2);
    } else {
        out.append(3, '\0');
    }
    out.resize(16, '\0');
    w.put(2, 2);     // executable
    w.put(0x3e, 2);  // x86-64
    w.put(1, 4);
    w.put(0, wide ? 8 : 4);  // entry
    w.put(0, wide ? 8 : 4);  // program headers
    w.put(tableOffset, wide ? 8 : 4);
    w.put(0, 4);
    w.put(headerSize, 2);
    w.put(0, 2);
    w.put(0, 2);
    w.put(entrySize, 2);
    w.put(count, 2);
    w.put(count - 1, 2);
    out += body;

    const auto sectionHeader = [&](std::uint32_t name, std::uint32_t type, std::uint64_t flags,
                                   std::uint64_t offset, std::uint64_t size) {
        const int word = wide ? 8 : 4;
        w.put(name, 4);
        w.put(type, 4);
        w.put(flags, word);
        w.put(0, word);  // address
        w.put(offset, word);
        w.put(size, word);
        w.put(0, 4);
        w.put(0, 4);
        w.put(1, word);
        w.put(0, word);
    };
    sectionHeader(0, 0, 0, 0, 0);
    for (std::size_t i = 0; i < fixture.sections.size(); ++i) {
        const auto& section = fixture.sections[i];
        sectionHeader(nameOffsets[i], section.type, section.flags,
                      section.offsetOverride != 0 ? section.offsetOverride : offsets[i],
                      section.sizeOverride != 0 ? section.sizeOverride : section.bytes.size());
    }
    sectionHeader(namesName, 3, 0, namesOffset, names.size());
    return out;
}

}  // namespace tarnwick::testing
