#include "base/interface_thread.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <unordered_set>

namespace {

// wParam of kRunOnInterfaceMessage: what lParam carries.
constexpr WPARAM kSentWork = 1;    // the address of a waiting sender's work
constexpr WPARAM kPostedWork = 2;  // nothing: the posted queue is to be run

// The main window and its thread, which carry out the work handed over; set while the window
// exists.
std::atomic<HWND> gInterfaceWindow{nullptr};
std::atomic<DWORD> gInterfaceThreadId{0};

// The work of senders that are waiting right now. Only an address found here is ever called,
// so whatever another process posts with this message number is ignored.
std::mutex gSentLock;
std::unordered_set<const std::function<void()>*> gSentWork;

// Work queued by threads that the interface thread may itself be waiting for.
std::mutex gPostedLock;
std::deque<std::function<void()>> gPostedWork;
// One message in the queue carries every posted work until it is run.
bool gPostedMessagePending = false;

void RunPostedWork() {
    std::deque<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> guard(gPostedLock);
        work.swap(gPostedWork);
        gPostedMessagePending = false;
    }
    for (auto& item : work) {
        item();
    }
}

}  // namespace

void SetInterfaceWindow(HWND mainWindow) {
    gInterfaceWindow = mainWindow;
    gInterfaceThreadId = mainWindow != nullptr ? GetCurrentThreadId() : 0;
    if (mainWindow == nullptr) {
        std::lock_guard<std::mutex> guard(gPostedLock);
        gPostedWork.clear();
        gPostedMessagePending = false;
    }
}

bool RunOnInterfaceThread(const std::function<void()>& work) {
    if (GetCurrentThreadId() == gInterfaceThreadId) {
        work();
        return true;
    }
    HWND window = gInterfaceWindow;
    if (window == nullptr) {
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(gSentLock);
        gSentWork.insert(&work);
    }
    bool done = SendMessageW(window, kRunOnInterfaceMessage, kSentWork,
                             reinterpret_cast<LPARAM>(&work)) == 1;
    std::lock_guard<std::mutex> guard(gSentLock);
    gSentWork.erase(&work);
    return done;
}

void PostToInterfaceThread(std::function<void()> work) {
    HWND window = gInterfaceWindow;
    if (window == nullptr) {
        return;
    }
    std::lock_guard<std::mutex> guard(gPostedLock);
    gPostedWork.push_back(std::move(work));
    if (!gPostedMessagePending && PostMessageW(window, kRunOnInterfaceMessage, kPostedWork, 0)) {
        gPostedMessagePending = true;
    }
}

LRESULT RunSentWork(WPARAM wParam, LPARAM lParam) {
    // Nothing may leave a window procedure by exception; the sender learns of the failure.
    try {
        if (wParam == kPostedWork) {
            RunPostedWork();
            return 0;
        }
        auto* work = reinterpret_cast<const std::function<void()>*>(lParam);
        {
            std::lock_guard<std::mutex> guard(gSentLock);
            if (wParam != kSentWork || !gSentWork.contains(work)) {
                return 0;
            }
        }
        (*work)();
        return 1;
    } catch (...) {
        return 0;
    }
}
