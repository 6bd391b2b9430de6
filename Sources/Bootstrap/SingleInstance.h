#pragma once

#include <QObject>

#include <chrono>
#include <filesystem>
#include <functional>

class QLocalServer;

namespace tarnwick {

// One instance per user. The first start holds an advisory lock on a file in the user's runtime
// folder and listens on a socket beside it; a later start finds the lock held, asks the holder
// through that socket to bring its window forward, and ends. The kernel drops the lock when its
// holder ends, however it ends, so a crash leaves nothing that blocks the next start.
//
// `claim` runs before the toolkit exists and uses plain sockets; `listen` needs the event loop.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Role {
        first,      // this start runs; it holds the lock, or runs unguarded when it cannot have one
        forwarded,  // the running instance took the request; this start ends
        unanswered  // an instance holds the lock but did not take the request within the limit
    };

    // `folder` is made (0700) when missing; one that is not a folder of this user's is not used.
    explicit SingleInstance(std::filesystem::path folder);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR/tarnwick, or a folder of this user's under /tmp without it.
    static std::filesystem::path defaultFolder();

    // Takes the lock, or asks the instance holding it to bring its window forward. An instance
    // that holds the lock but does not listen yet is still starting: it is asked again until
    // `limit` has passed.
    Role claim(std::chrono::milliseconds limit);

    // For the first instance: takes the requests of later starts and calls `activate` for each
    // on the main thread. False when the socket cannot be made; the instance then runs on, only
    // unreachable.
    bool listen(std::function<void()> activate);

    std::filesystem::path socketPath() const { return m_folder / "instance.socket"; }

private:
    bool forward(std::chrono::milliseconds limit) const;

    std::filesystem::path m_folder;
    int m_lock = -1;
    QLocalServer* m_server = nullptr;
    std::function<void()> m_activate;
};

}  // namespace tarnwick
