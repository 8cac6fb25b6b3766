#include "base/shell.h"

#include <shellapi.h>

#include <utility>

namespace {

// Where the shell calls go instead of the shell, while a test watches them; empty otherwise.
ShellObserver gObserver;

}  // namespace

void RunShellVerb(HWND owner, const wchar_t* verb, const std::wstring& target) {
    if (gObserver) {
        gObserver(ShellCall{owner, verb, target});
        return;
    }
    // The shell reports its own failures (no program for the file, missing file).
    ShellExecuteW(owner, verb, target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void SetShellObserver(ShellObserver observer) {
    gObserver = std::move(observer);
}
