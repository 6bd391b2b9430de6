#pragma once

#include "Foundation/Result.h"
#include "Foundation/Value.h"

#include <chrono>
#include <compare>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tarnwick {

// The Info.plist of the bundle around a connecting executable, for the flow thread, which must
// never wait on a user's files: the folders and the plist are the user's, and may sit on a file
// system that answers slowly or never. Each look-up runs on a thread of its own; the caller waits
// for it at most the time limit and is otherwise told the answer is not known. Answers are kept
// per executable file (device, inode, modification time and path), so a program that changes or
// moves is looked up anew.
//
// A look-up that never ends holds its thread, and its executable is not looked up again; with
// `maximumReaders` of them stuck, further look-ups are refused at once rather than piling up.
class BundleInfoLookup {
public:
    struct Executable {
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::int64_t modifiedSeconds = 0;
        std::int64_t modifiedNanoseconds = 0;
        std::filesystem::path path;

        auto operator<=>(const Executable&) const = default;
    };
    using Reader =
        std::function<std::optional<Value::Dictionary>(const std::filesystem::path& executable)>;

    static constexpr auto kTimeLimit = std::chrono::milliseconds(200);
    static constexpr std::size_t kMaximumReaders = 4;
    static constexpr std::size_t kCapacity = 1024;

    // Reads with `reader`, waiting at most `timeLimit` for one.
    // Used for testing only
    BundleInfoLookup(Reader reader, std::chrono::milliseconds timeLimit,
                     std::size_t maximumReaders = kMaximumReaders);

    // The one the extension uses: ProcessCodeIdentity::enclosingBundleInfo, within kTimeLimit.
    static BundleInfoLookup& shared();

    // The bundle's information property list (nothing when the executable is in no bundle), or
    // why it is not known.
    Result<std::optional<Value::Dictionary>, std::string> info(const Executable& executable);

private:
    struct State;
    std::shared_ptr<State> m_state;
};

}  // namespace tarnwick
