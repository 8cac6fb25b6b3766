#include "app/settings.h"

#include "base/message_box.h"
#include "base/profile.h"

#include <algorithm>
#include <cwchar>

Settings gSettings;

namespace {

const wchar_t kToolbarSection[] = L"TOOLBAR";
const wchar_t kViewSection[] = L"VIEW";
const wchar_t kOptionSection[] = L"OPTION";
const wchar_t kRefererOnKey[] = L"REFERER_ON";

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

// The settings file the program was started with; every read and write goes to it.
std::wstring gSettingsPath;

int ReadOptionInt(const wchar_t* key, int defaultValue) {
    return ReadProfileInt(gSettingsPath, kOptionSection, key, defaultValue);
}

bool WriteKey(const wchar_t* section, const wchar_t* key, const std::wstring& value) {
    return WriteProfileText(gSettingsPath, section, key, value);
}

bool WriteOptionInt(const wchar_t* key, int value) {
    return WriteKey(kOptionSection, key, std::to_wstring(value));
}

const wchar_t* RefererStateText() {
    return gSettings.refererOn ? L"1" : L"0";
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

void LoadSettings() {
    gSettingsPath = SettingsFilePath();

    gSettings.refererOn = FlagFromText(ReadToolbarKey(kRefererOnKey));

    for (int bar = 0; bar < kViewBarCount; ++bar) {
        int value = ReadProfileInt(gSettingsPath, kViewSection, kViewKeys[bar], 1);
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
    return ReadProfileText(gSettingsPath, kToolbarSection, key);
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

bool WriteRefererState(HWND owner) {
    return WriteToolbarKey(kRefererOnKey, RefererStateText(), owner);
}

void SaveRefererState() {
    WriteKey(kToolbarSection, kRefererOnKey, RefererStateText());
}
