#include "app/settings.h"

#include "app/message_box.h"

#include <algorithm>
#include <climits>
#include <cwchar>
#include <vector>

Settings gSettings;

namespace {

const wchar_t kToolbarSection[] = L"TOOLBAR";
const wchar_t kViewSection[] = L"VIEW";
const wchar_t kOptionSection[] = L"OPTION";

const wchar_t* const kViewKeys[kViewBarCount] = {
    L"MAIN_TBAR",    L"DL_LIST_TBAR", L"DL_LOG_TBAR", L"CANCEL_LOG_TBAR",
    L"ERR_LOG_TBAR", L"DL_DIR_TBAR",  L"REF_TBAR",    L"STATUSBAR",
};

// The options dialog never offers more than this many kilobytes; a larger value in the file
// (which could not even be counted in bytes in 32 bits) is held to it.
constexpr long long kLargestBufferKilobytes = 32767;
// Nor more connections than this: a larger value in the file would ask for more slots than
// the program can hold and leave it unable to open its window.
constexpr int kMostConnections = 32767;

// Values are read into 1024-character buffers, so at most 1023 characters are seen.
constexpr DWORD kValueBufferChars = 1024;

std::wstring gProgramFolderOverride;
std::wstring gSettingsPath;

int ReadOptionInt(const wchar_t* key, int defaultValue) {
    return static_cast<int>(
        GetPrivateProfileIntW(kOptionSection, key, defaultValue, gSettingsPath.c_str()));
}

// The profile functions create a missing file in the ANSI code page and would then store
// characters outside it as "?". A file that starts as an empty UTF-16LE file stays UTF-16LE.
void CreateUnicodeSettingsFileIfMissing() {
    HANDLE file = CreateFileW(gSettingsPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;  // already there, or the write below fails and says so
    }
    const BYTE mark[2] = {0xFF, 0xFE};
    DWORD written = 0;
    WriteFile(file, mark, sizeof mark, &written, nullptr);
    CloseHandle(file);
}

bool WriteKey(const wchar_t* section, const wchar_t* key, const std::wstring& value) {
    CreateUnicodeSettingsFileIfMissing();
    return WritePrivateProfileStringW(section, key, value.c_str(), gSettingsPath.c_str()) != 0;
}

bool WriteOptionInt(const wchar_t* key, int value) {
    return WriteKey(kOptionSection, key, std::to_wstring(value));
}

}  // namespace

int ConnectionCountFromKey(int value) {
    return std::clamp(value, 1, kMostConnections);
}

int BufferBytesFromKey(int kilobytes) {
    long long bytes = static_cast<long long>(kilobytes) * 1024;
    if (bytes <= 0) {
        return 1024;
    }
    if (bytes > kLargestBufferKilobytes * 1024) {
        return static_cast<int>(kLargestBufferKilobytes * 1024);
    }
    return static_cast<int>(bytes);
}

int NamingRuleFromKey(int value) {
    return (value < 0 || value > 4) ? 0 : value;
}

int FlagFromKey(int value) {
    return value != 0 ? 1 : 0;
}

int FlagFromText(const std::wstring& text) {
    return FlagFromKey(static_cast<int>(std::wcstol(text.c_str(), nullptr, 10)));
}

const wchar_t* ViewKeyName(ViewBar bar) {
    return kViewKeys[bar];
}

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

void LoadSettings() {
    gSettingsPath = SettingsFilePath();

    gSettings.refererOn = FlagFromText(ReadToolbarKey(L"REFERER_ON"));

    for (int bar = 0; bar < kViewBarCount; ++bar) {
        int value = static_cast<int>(
            GetPrivateProfileIntW(kViewSection, kViewKeys[bar], 1, gSettingsPath.c_str()));
        gSettings.view[bar] = value;
        gSettings.viewAtStartup[bar] = value;
    }

    gSettings.connectionCount = ConnectionCountFromKey(ReadOptionInt(L"CONNECT_NUM", 5));
    gSettings.bufferBytes = BufferBytesFromKey(ReadOptionInt(L"DL_BUF_SIZE", 256));
    gSettings.namingRule = NamingRuleFromKey(ReadOptionInt(L"SAVE_FILE_NAME_TYPE", 0));

    gSettings.proxyOn = FlagFromKey(ReadOptionInt(L"PROXY_ON", 0));
    gSettings.askExit = FlagFromKey(ReadOptionInt(L"ASK_EXIT", 0));
    gSettings.inTray = FlagFromKey(ReadOptionInt(L"IN_TRAY", 0));
    gSettings.balloon = FlagFromKey(ReadOptionInt(L"BALLOON", 0));
}

std::wstring ReadToolbarKey(const wchar_t* key) {
    wchar_t buffer[kValueBufferChars];
    GetPrivateProfileStringW(kToolbarSection, key, L"", buffer, kValueBufferChars,
                             gSettingsPath.c_str());
    return buffer;
}

bool WriteToolbarKey(const wchar_t* key, const std::wstring& text, HWND owner) {
    if (WriteKey(kToolbarSection, key, text)) {
        return true;
    }
    ShowSettingsWriteError(owner);
    return false;
}

bool WriteViewKey(ViewBar bar, bool visible, HWND owner) {
    if (WriteKey(kViewSection, kViewKeys[bar], visible ? L"1" : L"0")) {
        return true;
    }
    ShowSettingsWriteError(owner);
    return false;
}

void SaveOptions(HWND owner) {
    if (!WriteOptionInt(L"CONNECT_NUM", gSettings.connectionCount)) {
        ShowSettingsWriteError(owner);
        return;
    }
    WriteOptionInt(L"DL_BUF_SIZE", gSettings.bufferBytes / 1024);
    WriteOptionInt(L"PROXY_ON", gSettings.proxyOn);
    WriteOptionInt(L"SAVE_FILE_NAME_TYPE", gSettings.namingRule);
    WriteOptionInt(L"ASK_EXIT", gSettings.askExit);
    WriteOptionInt(L"IN_TRAY", gSettings.inTray);
    WriteOptionInt(L"BALLOON", gSettings.balloon);
}

void SaveRefererState() {
    WriteKey(kToolbarSection, L"REFERER_ON", gSettings.refererOn ? L"1" : L"0");
}
