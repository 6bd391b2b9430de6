#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace tarnwick::fuzz {
int fuzzOne(const std::uint8_t* data, std::size_t size);
}

// Replays every file of the corpus folders given as arguments through one fuzz entry, so the
// entries build and stay crash-free between fuzzing runs.
int main(int argc, char** argv) {
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
            std::ifstream stream(entry.path(), std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(stream)),
                                    std::istreambuf_iterator<char>());
            tarnwick::fuzz::fuzzOne(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                    bytes.size());
            ++replayed;
        }
    }
    std::printf("replayed %d inputs\n", replayed);
    return replayed > 0 ? 0 : 1;
}
