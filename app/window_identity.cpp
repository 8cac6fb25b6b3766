#include "app/window_identity.h"

#include "engine/run_state.h"
#include "res/resource.h"

#include <atomic>

const wchar_t kMainWindowTitle[] = L"Velmora Downloader";
HINSTANCE gInstance = nullptr;
HICON gBusyIcon = nullptr;

namespace {

// The idle icon, loaded at first use; read by the run's threads too.
std::atomic<HICON> gIdleIcon{nullptr};

}  // namespace

HICON IdleIcon() {
    HICON icon = gIdleIcon.load();
    if (icon == nullptr) {
        // A shared icon is the same handle however often it is loaded, so two threads that
        // race here store the same value.
        icon = static_cast<HICON>(LoadImageW(gInstance, MAKEINTRESOURCEW(IDI_MAIN), IMAGE_ICON, 0,
                                             0, LR_DEFAULTSIZE | LR_SHARED));
        gIdleIcon.store(icon);
    }
    return icon;
}

HICON CurrentIcon() {
    return IsRunActive() ? gBusyIcon : IdleIcon();
}
