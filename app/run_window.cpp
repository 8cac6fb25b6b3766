#include "app/run_window.h"

#include "app/download_mode.h"
#include "app/settings.h"
#include "app/tray.h"
#include "app/window_identity.h"
#include "base/message_box.h"
#include "base/path_bar_text.h"
#include "base/window_ids.h"

#include <atomic>
#include <cwchar>

namespace {

const wchar_t kRunningTitle[] = L"ダウンロード実行中 - Velmora Downloader";
const wchar_t kCompletionText[] = L"ダウンロードが完了しました";

// A minute, or less when the environment variable VELMORA_SILENCE_MS says so (1,000 ms at the
// least): the tests see what a minute of silence does in seconds. Users have no reason to set
// it, and it can only shorten the wait.
DWORD SilenceBound() {
    wchar_t text[16];
    DWORD length = GetEnvironmentVariableW(L"VELMORA_SILENCE_MS", text, 16);
    if (length == 0 || length >= 16) {
        return kServerSilenceMs;
    }
    wchar_t* end = nullptr;
    unsigned long ms = std::wcstoul(text, &end, 10);
    return *end == L'\0' && ms >= 1000 && ms <= kServerSilenceMs ? static_cast<DWORD>(ms)
                                                                 : kServerSilenceMs;
}

class MainWindowRun final : public RunWindow {
public:
    // A new run may bind while the last one's notice is still open on its own thread.
    void Bind(HWND mainWindow) { window_.store(mainWindow); }

    void BeginDownloadMode() override { ::BeginDownloadMode(window_); }

    RunInputs ReadInputs() override {
        RunInputs inputs;
        inputs.saveFolder = ReadPathBarText(window_, kSaveFolderBarId);
        const int logBars[3] = {kDownloadLogBarId, kCancelLogBarId, kErrorLogBarId};
        for (int log = 0; log < 3; ++log) {
            inputs.logPaths[log] = ReadPathBarText(window_, logBars[log]);
        }
        inputs.connectionCount = gSettings.connectionCount;
        inputs.bufferBytes = gSettings.bufferBytes;
        inputs.namingRule = gSettings.namingRule;
        inputs.proxyOn = gSettings.proxyOn != 0;
        inputs.balloon = gSettings.balloon != 0;
        inputs.silenceMs = SilenceBound();
        return inputs;
    }

    void ShowRunning() override {
        SetWindowTextW(window_, kRunningTitle);
        SetClassLongPtrW(window_, GCLP_HICON, reinterpret_cast<LONG_PTR>(gBusyIcon));
        if (!IsWindowVisible(window_)) {
            ModifyTrayIcon(window_, gBusyIcon, kRunningTitle);
        }
    }

    void RestoreIdleMode() override { ::RestoreIdleMode(window_); }

    void SelectedRunEnded() override {
        InvalidateRect(GetDlgItem(window_, kListViewId), nullptr, TRUE);
    }

    RefererNow ReadReferer() override {
        return {gSettings.refererOn != 0, ReadWholePathBarText(window_, kRefererBarId)};
    }

    void TellRunComplete(bool balloon) override {
        if (balloon && !IsWindowVisible(window_)) {
            ShowTrayBalloon(window_, kCaptionConfirm, kCompletionText);
        } else {
            ShowNotice(window_, kCompletionText);
        }
    }

private:
    std::atomic<HWND> window_{nullptr};
};

}  // namespace

RunWindow& RunWindowOf(HWND mainWindow) {
    static MainWindowRun door;
    door.Bind(mainWindow);
    return door;
}
