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
// When a look-up runs out of time, new programs on the same device are not waited on for a while
// (their look-ups still run, and their answers are kept). A look-up that never ends holds its
// thread, and its executable is not looked up again; with `maximumReaders` of them stuck, further
// look-ups are refused at once rather than piling up. Reading threads are joined once they end;
// `stop` joins them all, waiting a bounded time for those still reading.
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
    // How long a device whose look-up ran out of time is not waited on.
    static constexpr auto kSlowDevicePause = std::chrono::seconds(60);
    // How long destruction waits for readers.
    static constexpr auto kStopWait = std::chrono::milliseconds(500);

    // Reads with `reader`, waiting at most `timeLimit` for one.
    // Used for testing only
    BundleInfoLookup(Reader reader, std::chrono::milliseconds timeLimit,
                     std::size_t maximumReaders = kMaximumReaders);

    // Stops within `wait` at most.
    ~BundleInfoLookup();
    BundleInfoLookup(const BundleInfoLookup&) = delete;
    BundleInfoLookup& operator=(const BundleInfoLookup&) = delete;

    // The one the extension uses: ProcessCodeIdentity::enclosingBundleInfo, within kTimeLimit.
    static BundleInfoLookup& shared();

    // Refuses further look-ups and joins the reading threads, waiting at most `wait` for those
    // still reading, and for those earlier stops left reading. The number left reading: a read
    // stuck in the kernel cannot be cut short, so those are left until a later stop finds them
    // ended, or to end with the process.
    std::size_t stop(std::chrono::milliseconds wait);

    // The bundle's information property list (nothing when the executable is in no bundle), or
    // why it is not known.
    Result<std::optional<Value::Dictionary>, std::string> info(const Executable& executable);

    struct State;

private:
    std::shared_ptr<State> m_state;
};

}  // namespace tarnwick
