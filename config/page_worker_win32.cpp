// A page's worker thread and its notices, carried as window messages to the page.
#include "config/dialogs_win32.h"

namespace vorl::panel {

WindowPageWorker::WindowPageWorker(WindowPageWorker&& other) noexcept
    : page_(other.page_), thread_(other.thread_), work_(std::move(other.work_)) {
    other.thread_ = nullptr;
}

DWORD WINAPI WindowPageWorker::run(LPVOID self) {
    static_cast<WindowPageWorker*>(self)->work_();
    return 0;
}

bool WindowPageWorker::start(std::function<void()> work) {
    join();
    work_ = std::move(work);
    thread_ = CreateThread(nullptr, 0, &WindowPageWorker::run, this, 0, nullptr);
    return thread_ != nullptr;
}

void WindowPageWorker::join() {
    if (thread_ == nullptr) return;
    // Our own thread: its card waits are bounded, and it has posted its end notice already
    // whenever the page asks.
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
}

void WindowPageWorker::sendProgress(int count, std::string_view text) {
    SendMessageA(page_, kWorkerProgressMessage, static_cast<WPARAM>(count),
                 reinterpret_cast<LPARAM>(&text));
}

void WindowPageWorker::postProgress(int count, const std::string& text) {
    PostMessageA(page_, kWorkerQueuedProgressMessage, static_cast<WPARAM>(count),
                 reinterpret_cast<LPARAM>(&text));
}

void WindowPageWorker::postEnd(bool completed) {
    PostMessageA(page_, kWorkerEndMessage, completed ? 1 : 0, 0);
}

}  // namespace vorl::panel
