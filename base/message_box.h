// The one door for every message box the program shows.
//
// Tests install a responder that records each message and answers it instead of a real box.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

struct UserMessage {
    HWND owner;
    std::wstring text;
    std::wstring caption;
    UINT type;  // MB_* buttons and icon
};

using MessageResponder = std::function<int(const UserMessage&)>;

// Shows a message box (or asks the responder) and returns the button pressed.
int ShowUserMessage(HWND owner, const std::wstring& text, const wchar_t* caption, UINT type);
// Notice: caption "確認", OK only, no icon.
void ShowNotice(HWND owner, const std::wstring& text);
// Failure: caption "エラー", error icon, OK.
void ShowFailure(HWND owner, const std::wstring& text);
// Question: caption "確認", question icon, Yes and No; true only for Yes.
bool AskYesNo(HWND owner, const std::wstring& text);
// "設定ファイルの書き込みに失敗しました"
void ShowSettingsWriteError(HWND owner);
// "メモリの確保に失敗しました", owned by the top-level window that holds window. Never throws.
void TellOutOfMemory(HWND window) noexcept;

// An empty responder restores real message boxes.
void SetMessageResponder(MessageResponder responder);

extern const wchar_t kCaptionConfirm[];
extern const wchar_t kCaptionError[];
extern const wchar_t kOutOfMemoryText[];
