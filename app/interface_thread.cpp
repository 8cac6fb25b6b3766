#include "app/interface_thread.h"

#include <atomic>

namespace {

std::atomic<HWND> gInterfaceWindow{nullptr};
std::atomic<DWORD> gInterfaceThreadId{0};

}  // namespace

void SetInterfaceWindow(HWND mainWindow) {
    gInterfaceWindow = mainWindow;
    gInterfaceThreadId = mainWindow != nullptr ? GetCurrentThreadId() : 0;
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
    return SendMessageW(window, kRunOnInterfaceMessage, 0, reinterpret_cast<LPARAM>(&work)) != 0;
}

LRESULT RunSentWork(LPARAM lParam) {
    // Nothing may leave a window procedure by exception; the sender learns of the failure.
    try {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 1;
    } catch (...) {
        return 0;
    }
}
