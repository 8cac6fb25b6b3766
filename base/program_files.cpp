#include "base/program_files.h"

#include <windows.h>

#include <vector>

namespace {

// The folder the program's files are taken from instead of the executable's, when set.
std::wstring gProgramFolderOverride;

}  // namespace

std::wstring ProgramFolder() {
    if (!gProgramFolderOverride.empty()) {
        return gProgramFolderOverride;
    }
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            // Without our own file name the per-user files go to the current directory.
            return L".\\";
        }
        if (length < buffer.size()) {
            return FolderOfPath(std::wstring(buffer.data(), length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

void SetProgramFolder(const std::wstring& folder) {
    gProgramFolderOverride = folder;
    if (!gProgramFolderOverride.empty() && gProgramFolderOverride.back() != L'\\') {
        gProgramFolderOverride += L'\\';
    }
}

std::wstring UserName() {
    wchar_t buffer[520];
    DWORD size = 520;
    if (!GetUserNameW(buffer, &size) || buffer[0] == L'\0') {
        // Still one name per machine user would be better, but any stable name keeps the
        // program working; every user without a readable name shares these files.
        return L"user";
    }
    return buffer;
}

std::wstring PerUserFilePath(const std::wstring& folder, const std::wstring& user,
                             const wchar_t* suffix) {
    return folder + user + L" Velmora Downloader" + suffix;
}

std::wstring SettingsFilePath() {
    return PerUserFilePath(ProgramFolder(), UserName(), L".ini");
}

std::wstring ListFilePath() {
    return PerUserFilePath(ProgramFolder(), UserName(), L" Lv.txt");
}

std::wstring LayoutFilePath() {
    return PerUserFilePath(ProgramFolder(), UserName(), L" Tb.txt");
}

std::wstring ReadmePath() {
    return ProgramFolder() + L"Readme.txt";
}

std::wstring FolderOfPath(const std::wstring& path) {
    size_t slash = path.find_last_of(L"\\/");
    if (slash != std::wstring::npos) {
        return path.substr(0, slash + 1);
    }
    if (path.size() >= 2 && path[1] == L':') {
        return path.substr(0, 2);
    }
    return std::wstring();
}
