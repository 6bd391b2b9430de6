#include "FileDestination.h"

#include "Foundation/Bundle.h"
#include "Foundation/FileDescriptor.h"
#include "Foundation/OutsideFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace tarnwick {

namespace {

std::optional<std::string> executableName() {
    if (auto name = Bundle::main().executableName()) {
        return name;
    }
    // Outside a bundle the running program's own name stands in.
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || path.filename().empty()) {
        return std::nullopt;
    }
    return path.filename().string();
}

std::optional<std::filesystem::path> defaultLogFile(const StandardDirectories& directories) {
    const auto caches = directories.cachesDirectories();
    if (caches.empty()) {
        return std::nullopt;
    }
    std::filesystem::path folder = caches.front();
    if (auto name = executableName()) {
        std::error_code error;
        std::filesystem::create_directories(folder / *name, error);
        if (error) {
            BaseDestination::printLine("Warning! Could not create folder /Library/Caches/" + *name);
        } else {
            folder /= *name;
        }
    }
    return folder / "loghub.log";
}

std::string describeURL(const std::filesystem::path& file) {
    return "file://" + file.string();
}

}  // namespace

FileDestination::FileDestination(std::optional<std::filesystem::path> logFileURL,
                                 const StandardDirectories& directories, const WallClock& clock)
    : BaseDestination(clock)
    , m_logFileURL(logFileURL ? std::move(logFileURL) : defaultLogFile(directories)) {}

std::optional<std::string> FileDestination::send(LogLevel level, const std::string& message,
                                                 const std::string& thread, const std::string& file,
                                                 const std::string& function, long line,
                                                 const LogValue& context) {
    auto text = BaseDestination::send(level, message, thread, file, function, line, context);
    if (!text) {
        return std::nullopt;
    }
    validateSaveFile(*text);
    return text;
}

bool FileDestination::validateSaveFile(const std::string& text) {
    if (!m_batch.empty() && (!m_logFileURL || *m_logFileURL != m_batchFile)) {
        writeBatch();
    }
    if (m_logFileAmount >= 2) {
        if (!m_logFileURL) {
            return false;
        }
        std::error_code error;
        const bool onDisk = std::filesystem::exists(*m_logFileURL, error);
        if (onDisk || !m_batch.empty()) {
            // Lines gathered in this batch count as if they were already written.
            const auto size = onDisk ? std::filesystem::file_size(*m_logFileURL, error) : 0;
            if (error) {
                printLine("validateSaveFile error: " + error.message());
            } else if (m_logFileMaxSize < 0 ||
                       size + m_batch.size() > static_cast<std::uintmax_t>(m_logFileMaxSize)) {
                writeBatch();
                rotateFile(m_logFileURL->string());
            }
        }
    }
    if (!m_logFileURL) {
        return false;
    }
    if (m_batching) {
        if (m_batch.empty()) {
            m_batchFile = *m_logFileURL;
        }
        m_batch.append(text);
        m_batch.push_back('\n');
        constexpr std::size_t kMaximumBatchBytes = 256 * 1024;
        if (m_batch.size() >= kMaximumBatchBytes) {
            writeBatch();
        }
        return true;
    }
    return write(text + "\n", *m_logFileURL);
}

void FileDestination::beginBatch() {
    m_batching = true;
}

void FileDestination::endBatch() {
    m_batching = false;
    writeBatch();
}

void FileDestination::writeBatch() {
    if (m_batch.empty()) {
        return;
    }
    write(m_batch, m_batchFile);
    m_batch.clear();
    if (m_batch.capacity() > 1024 * 1024) {
        m_batch.shrink_to_fit();
    }
}

void FileDestination::rotateFile(const std::string& path) {
    const std::int64_t amount = m_logFileAmount;
    std::error_code error;
    for (std::int64_t index = amount - 1; index >= 1; --index) {
        const std::filesystem::path rotated = path + "." + std::to_string(index);
        if (!std::filesystem::exists(rotated, error)) {
            continue;
        }
        if (index == amount - 1) {
            std::filesystem::remove(rotated, error);
        } else {
            std::filesystem::rename(rotated, path + "." + std::to_string(index + 1), error);
        }
        if (error) {
            printLine("rotateFile error: " + error.message());
            return;
        }
    }
    std::filesystem::rename(path, path + ".1", error);
    if (error) {
        printLine("rotateFile error: " + error.message());
    }
}

bool FileDestination::write(const std::string& bytes, const std::filesystem::path& file) {
    const auto failed = [&] {
        printLine("LogHub File Destination could not write to file " + describeURL(file) + ".");
        return false;
    };
    std::error_code error;
    if (!std::filesystem::exists(file, error)) {
        const auto folder = file.parent_path();
        if (!folder.empty() && !std::filesystem::exists(folder, error)) {
            std::filesystem::create_directories(folder, error);
            if (error) {
                return failed();
            }
        }
    }
    auto opened = OutsideFile::openForAppending(file, 0666);
    if (!opened) {
        return failed();
    }
    const FileDescriptor fd = std::move(opened->descriptor);
    // The lock coordinates writers of the same file; failing to get it is its own report. Closing
    // the descriptor releases it.
    if (::flock(fd.get(), LOCK_EX) != 0) {
        printLine("Failed writing file with error: " + std::string(std::strerror(errno)));
        return false;
    }
    bool written = writeAll(fd.get(), bytes).ok();
    if (written && m_syncAfterEachWrite) {
        written = ::fsync(fd.get()) == 0;
    }
    return written ? true : failed();
}

bool FileDestination::deleteLogFile() {
    std::error_code error;
    if (!m_logFileURL || !std::filesystem::exists(*m_logFileURL, error)) {
        return true;
    }
    if (!std::filesystem::remove(*m_logFileURL, error) || error) {
        printLine("LogHub File Destination could not remove file " + describeURL(*m_logFileURL) +
                  ".");
        return false;
    }
    return true;
}

void FileDestination::setColored(bool colored) {
    m_colored = colored;
    if (colored) {
        setReset(LevelColor::terminalReset);
        setEscape(LevelColor::terminalEscape);
        setLevelColor(LevelColor::terminal());
    } else {
        setReset("");
        setEscape("");
        setLevelColor(LevelColor{});
    }
}

}  // namespace tarnwick
