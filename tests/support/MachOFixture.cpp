#include "support/MachOFixture.h"

#include <cstring>

namespace tarnwick::testing {

namespace {

class Writer {
public:
    explicit Writer(bool bigEndian) : m_bigEndian(bigEndian) {}

    void u32(std::uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            const int shift = m_bigEndian ? (3 - i) * 8 : i * 8;
            m_bytes.push_back(static_cast<char>((value >> shift) & 0xff));
        }
    }
    void u64(std::uint64_t value) {
        for (int i = 0; i < 8; ++i) {
            const int shift = m_bigEndian ? (7 - i) * 8 : i * 8;
            m_bytes.push_back(static_cast<char>((value >> shift) & 0xff));
        }
    }
    void name(const std::string& text) {
        std::string field(16, '\0');
        std::memcpy(field.data(), text.data(), std::min<std::size_t>(16, text.size()));
        m_bytes += field;
    }
    std::string& bytes() { return m_bytes; }

private:
    bool m_bigEndian;
    std::string m_bytes;
};

std::size_t alignUp(std::size_t value, std::size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

}  // namespace

void putBigEndian32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>((value >> ((3 - i) * 8)) & 0xff);
    }
}

std::string buildThinMachO(const MachOFixtureImage& image) {
    std::string strings;
    for (const auto& text : image.cStrings) {
        strings += text;
        strings.push_back('\0');
    }
    const std::size_t headerSize = image.is64Bit ? 32 : 28;
    const std::size_t segmentSize = image.is64Bit ? 72 + 80 : 56 + 68;
    const std::size_t signatureCommandSize = image.codeSignature ? 16 : 0;
    const std::size_t commandsSize = segmentSize + signatureCommandSize;
    const std::size_t stringsOffset = alignUp(headerSize + commandsSize, 16);
    const std::size_t signatureOffset = alignUp(stringsOffset + strings.size(), 16);

    Writer out(image.bigEndian);
    out.u32(image.is64Bit ? 0xfeedfacf : 0xfeedface);
    out.u32(image.cputype);
    out.u32(3);  // subtype: all
    out.u32(2);  // executable
    out.u32(image.codeSignature ? 2 : 1);
    out.u32(static_cast<std::uint32_t>(commandsSize));
    out.u32(0);
    if (image.is64Bit) {
        out.u32(0);
    }
    // __TEXT with its one section.
    out.u32(image.is64Bit ? 0x19 : 0x1);
    out.u32(static_cast<std::uint32_t>(segmentSize));
    out.name("__TEXT");
    if (image.is64Bit) {
        out.u64(0x100000000);
        out.u64(signatureOffset);
        out.u64(0);
        out.u64(signatureOffset);
    } else {
        out.u32(0x1000);
        out.u32(static_cast<std::uint32_t>(signatureOffset));
        out.u32(0);
        out.u32(static_cast<std::uint32_t>(signatureOffset));
    }
    out.u32(5);
    out.u32(5);
    out.u32(1);  // one section
    out.u32(0);
    out.name(image.sectionName);
    out.name("__TEXT");
    if (image.is64Bit) {
        out.u64(0x100000000 + stringsOffset);
        out.u64(strings.size());
    } else {
        out.u32(static_cast<std::uint32_t>(0x1000 + stringsOffset));
        out.u32(static_cast<std::uint32_t>(strings.size()));
    }
    out.u32(static_cast<std::uint32_t>(stringsOffset));
    out.u32(0);           // align
    out.u32(0);           // reloff
    out.u32(0);           // nreloc
    out.u32(0x2);         // C-string literals
    out.u32(0);           // reserved1
    out.u32(0);           // reserved2
    if (image.is64Bit) {  // reserved3
        out.u32(0);
    }
    if (image.codeSignature) {
        out.u32(0x1d);
        out.u32(16);
        out.u32(static_cast<std::uint32_t>(signatureOffset));
        out.u32(static_cast<std::uint32_t>(image.codeSignature->size()));
    }
    std::string& bytes = out.bytes();
    bytes.resize(stringsOffset, '\0');
    bytes += strings;
    bytes.resize(signatureOffset, '\0');
    if (image.codeSignature) {
        bytes += *image.codeSignature;
    }
    return bytes;
}

std::string buildFatMachO(const std::vector<MachOFixtureSlice>& slices, bool wide) {
    Writer out(true);
    out.u32(wide ? 0xcafebabf : 0xcafebabe);
    out.u32(static_cast<std::uint32_t>(slices.size()));
    const std::size_t tableEnd = 8 + slices.size() * (wide ? 32 : 20);
    std::size_t offset = alignUp(tableEnd, 4096);
    std::vector<std::size_t> offsets;
    for (const auto& slice : slices) {
        offsets.push_back(offset);
        out.u32(slice.cputype);
        out.u32(3);
        if (wide) {
            out.u64(offset);
            out.u64(slice.image.size());
            out.u32(12);
            out.u32(0);
        } else {
            out.u32(static_cast<std::uint32_t>(offset));
            out.u32(static_cast<std::uint32_t>(slice.image.size()));
            out.u32(12);
        }
        offset = alignUp(offset + slice.image.size(), 4096);
    }
    std::string& bytes = out.bytes();
    for (std::size_t i = 0; i < slices.size(); ++i) {
        bytes.resize(offsets[i], '\0');
        bytes += slices[i].image;
    }
    return bytes;
}

}  // namespace tarnwick::testing
