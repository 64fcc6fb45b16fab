#pragma once
// A page's background work: one worker thread at a time, which reaches the page only through
// notices that the page handles on the window thread (PagePresenter::onWorkerProgress and
// onWorkerEnded). The Win32 adapter runs the thread and carries the notices as private window
// messages; tests deliver them with fakes.
#include <functional>
#include <string>
#include <string_view>

namespace vorl::panel {

class PageWorker {
public:
    virtual ~PageWorker() = default;

    // Runs `work` on a thread of its own. False when no thread could be started (nothing ran).
    virtual bool start(std::function<void()> work) = 0;
    // Waits until the worker's thread has ended; at once when none runs.
    virtual void join() = 0;

    // Called by the worker. A progress notice, delivered synchronously: returns once the page
    // has handled it, so `text` need only live for the call.
    virtual void sendProgress(int count, std::string_view text) = 0;
    // Called by the worker. Queued notices: they return at once and the page handles them
    // later, in the order posted. `text` must stay valid until then (after the worker ended).
    virtual void postProgress(int count, const std::string& text) = 0;
    // The worker's last word: `completed` when its work ended well.
    virtual void postEnd(bool completed) = 0;
};

}  // namespace vorl::panel
