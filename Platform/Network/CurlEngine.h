#pragma once

#include "HTTPRequest.h"
#include "HTTPResult.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace tarnwick {

// The one libcurl multi handle of the process and the thread that drives it. Sessions hand it
// transfers and cancellations from any thread; it calls each transfer's finish block exactly
// once, on its own thread, with the answer, the failure or the cancellation.
class CurlEngine {
public:
    using TransferID = std::uint64_t;
    using Finish = std::function<void(HTTPResult)>;

    static CurlEngine& shared();

    // A fresh identifier for `start`, so that callers can note a transfer before it may finish.
    TransferID makeTransferID();
    // Starts the transfer. A request that cannot be set up finishes at once, on the calling
    // thread.
    void start(TransferID id, const HTTPRequest& request, Finish finish);
    // Finishes the transfer with a cancellation unless it has finished already.
    void cancel(TransferID transfer);
    // Finishes every transfer with a cancellation and joins the engine's thread; later transfers
    // finish with a cancellation at once. For the process's end; never from a finish block.
    void stop();

private:
    struct Transfer;

    CurlEngine();
    void run();
    void wakeUp();
    void finish(Transfer& transfer, HTTPResult result);

    void* m_multi = nullptr;
    std::mutex m_mutex;
    TransferID m_nextID = 1;
    std::vector<std::unique_ptr<Transfer>> m_pending;
    std::vector<TransferID> m_cancellations;
    bool m_stopping = false;
    // Engine thread only.
    std::unordered_map<TransferID, std::unique_ptr<Transfer>> m_active;
    // Last: the thread starts once the members it uses exist.
    std::jthread m_thread;
};

}  // namespace tarnwick
