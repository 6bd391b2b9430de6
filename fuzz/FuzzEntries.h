#pragma once

#include <cstddef>
#include <cstdint>

namespace tarnwick::fuzz {

// One entry per parser of outside bytes. Each libFuzzer target calls one of them from
// LLVMFuzzerTestOneInput, and the regression tests replay saved inputs through the same
// functions, so a crash found by fuzzing stays fixed in the ordinary build. Each returns 0; a
// fault ends the process (a sanitizer report, an abort on a broken round trip).
int fuzzXPCFrames(const std::uint8_t* data, std::size_t size);
int fuzzValueJSON(const std::uint8_t* data, std::size_t size);
int fuzzPropertyList(const std::uint8_t* data, std::size_t size);
int fuzzSettings(const std::uint8_t* data, std::size_t size);
int fuzzIPPacket(const std::uint8_t* data, std::size_t size);
int fuzzDNSResponse(const std::uint8_t* data, std::size_t size);
int fuzzLogFormat(const std::uint8_t* data, std::size_t size);
int fuzzRemoteLogFiles(const std::uint8_t* data, std::size_t size);
int fuzzHelpDeskAnswer(const std::uint8_t* data, std::size_t size);
int fuzzJournalOutput(const std::uint8_t* data, std::size_t size);
int fuzzMachO(const std::uint8_t* data, std::size_t size);
int fuzzCodeSignature(const std::uint8_t* data, std::size_t size);
int fuzzIconFamily(const std::uint8_t* data, std::size_t size);
int fuzzUpdateFeed(const std::uint8_t* data, std::size_t size);
int fuzzDesktopEntry(const std::uint8_t* data, std::size_t size);
int fuzzSocketDestroyEvent(const std::uint8_t* data, std::size_t size);
int fuzzWorldAtlas(const std::uint8_t* data, std::size_t size);
int fuzzCityTable(const std::uint8_t* data, std::size_t size);
int fuzzElf(const std::uint8_t* data, std::size_t size);
int fuzzAppStream(const std::uint8_t* data, std::size_t size);

struct FuzzTarget {
    // The folder of its seeds and saved crashes, and its executable "fuzz_<name>".
    const char* name;
    int (*entry)(const std::uint8_t*, std::size_t);
};

inline constexpr FuzzTarget kFuzzTargets[] = {
    {"xpc_frames", fuzzXPCFrames},
    {"value_json", fuzzValueJSON},
    {"property_list", fuzzPropertyList},
    {"settings", fuzzSettings},
    {"ip_packet", fuzzIPPacket},
    {"dns_response", fuzzDNSResponse},
    {"log_format", fuzzLogFormat},
    {"remote_log_files", fuzzRemoteLogFiles},
    {"help_desk_answer", fuzzHelpDeskAnswer},
    {"journal_output", fuzzJournalOutput},
    {"macho", fuzzMachO},
    {"code_signature", fuzzCodeSignature},
    {"icon_family", fuzzIconFamily},
    {"update_feed", fuzzUpdateFeed},
    {"desktop_entry", fuzzDesktopEntry},
    {"socket_destroy_event", fuzzSocketDestroyEvent},
    {"world_atlas", fuzzWorldAtlas},
    {"city_table", fuzzCityTable},
    {"elf", fuzzElf},
    {"appstream", fuzzAppStream},
};

}  // namespace tarnwick::fuzz
