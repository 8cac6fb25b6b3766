#include "base/message_box.h"

#include <utility>

const wchar_t kCaptionConfirm[] = L"確認";
const wchar_t kCaptionError[] = L"エラー";
const wchar_t kOutOfMemoryText[] = L"メモリの確保に失敗しました";

namespace {

// Who answers the message boxes instead of the user, while a test does; empty otherwise.
MessageResponder gResponder;

}  // namespace

int ShowUserMessage(HWND owner, const std::wstring& text, const wchar_t* caption, UINT type) {
    if (gResponder) {
        return gResponder(UserMessage{owner, text, caption, type});
    }
    return MessageBoxW(owner, text.c_str(), caption, type);
}

void ShowNotice(HWND owner, const std::wstring& text) {
    ShowUserMessage(owner, text, kCaptionConfirm, MB_OK);
}

void ShowFailure(HWND owner, const std::wstring& text) {
    ShowUserMessage(owner, text, kCaptionError, MB_OK | MB_ICONERROR);
}

bool AskYesNo(HWND owner, const std::wstring& text) {
    return ShowUserMessage(owner, text, kCaptionConfirm, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void ShowSettingsWriteError(HWND owner) {
    ShowFailure(owner, L"設定ファイルの書き込みに失敗しました");
}

void TellOutOfMemory(HWND window) noexcept {
    try {
        ShowFailure(window != nullptr ? GetAncestor(window, GA_ROOT) : nullptr, kOutOfMemoryText);
    } catch (...) {
        // Not even the message could be had.
    }
}

void SetMessageResponder(MessageResponder responder) {
    gResponder = std::move(responder);
}
