// The one door to the shell's "open" and "explore" actions.
//
// Tests install an observer that records each call instead of starting another program.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

struct ShellCall {
    HWND owner;
    std::wstring verb;  // "open" or "explore"
    std::wstring target;
};

using ShellObserver = std::function<void(const ShellCall&)>;

void RunShellVerb(HWND owner, const wchar_t* verb, const std::wstring& target);
// An empty observer restores the real shell.
void SetShellObserver(ShellObserver observer);
