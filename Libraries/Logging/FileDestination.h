#pragma once

#include "BaseDestination.h"
#include "Foundation/StandardDirectories.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace tarnwick {

// Appends each accepted entry as one line of UTF-8 text to a file, and can rotate the file by size
// into numbered siblings ("x.log.1" the newest). The file is opened and closed for every append and
// nothing is kept between appends, so a file moved away or removed by someone else is simply
// created afresh. Entries that reach the queue together are appended together, in one write, with
// the same lines and the same rotation points as one by one. Appends hold an exclusive advisory
// lock on the file, so two processes never interleave lines.
class FileDestination : public BaseDestination {
public:
    // Without a file, the destination writes to "loghub.log" in a folder named after the
    // executable in the user's caches folder.
    explicit FileDestination(std::optional<std::filesystem::path> logFileURL,
                             const StandardDirectories& directories = StandardDirectories(),
                             const WallClock& clock = WallClock::system());

    int defaultHashValue() const override { return 2; }

    std::optional<std::string> send(LogLevel level, const std::string& message,
                                    const std::string& thread, const std::string& file,
                                    const std::string& function, long line,
                                    const LogValue& context) override;

    // True when the entry was appended.
    bool validateSaveFile(const std::string& text);
    void rotateFile(const std::string& path);
    bool write(const std::string& bytes, const std::filesystem::path& file);
    // True when no file stands at the log file's place afterwards.
    bool deleteLogFile();

    const std::optional<std::filesystem::path>& logFileURL() const { return m_logFileURL; }
    void setLogFileURL(std::optional<std::filesystem::path> url) { m_logFileURL = std::move(url); }
    bool syncAfterEachWrite() const { return m_syncAfterEachWrite; }
    void setSyncAfterEachWrite(bool value) { m_syncAfterEachWrite = value; }
    bool colored() const { return m_colored; }
    void setColored(bool colored);
    std::int64_t logFileMaxSize() const { return m_logFileMaxSize; }
    void setLogFileMaxSize(std::int64_t bytes) { m_logFileMaxSize = bytes; }
    std::int64_t logFileAmount() const { return m_logFileAmount; }
    void setLogFileAmount(std::int64_t amount) { m_logFileAmount = amount; }

protected:
    void beginBatch() override;
    void endBatch() override;

private:
    void writeBatch();

    std::optional<std::filesystem::path> m_logFileURL;
    bool m_batching = false;
    std::string m_batch;  // lines waiting for the end of the batch
    std::filesystem::path m_batchFile;
    bool m_syncAfterEachWrite = false;
    bool m_colored = false;
    std::int64_t m_logFileMaxSize = 5 * 1024 * 1024;
    std::int64_t m_logFileAmount = 1;
};

}  // namespace tarnwick
