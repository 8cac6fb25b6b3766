#include "tests/e2e/program_driver.h"

#include "base/text_file.h"
#include "tests/support/test_files.h"

#include <cstdlib>
#include <stdexcept>

namespace {

// The build passes the program's path as a Unix path; Wine sees the Unix root as Z:.
std::wstring ProgramUnderTest() {
    const char* path = std::getenv("VELMORA_EXE");
    if (path == nullptr) {
        throw std::runtime_error("VELMORA_EXE is not set");
    }
    std::wstring result;
    if (path[0] == '/') {
        result = L"Z:";
    }
    for (const char* c = path; *c != '\0'; ++c) {
        result += (*c == '/') ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(*c));
    }
    return result;
}

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId) {
        return TRUE;
    }
    wchar_t name[64];
    GetClassNameW(window, name, 64);
    if (wcscmp(name, search->className) != 0) {
        return TRUE;
    }
    if (search->caption != nullptr) {
        wchar_t caption[128];
        GetWindowTextW(window, caption, 128);
        if (wcscmp(caption, search->caption) != 0) {
            return TRUE;
        }
    }
    search->found = window;
    return FALSE;
}

HWND FindTopLevel(DWORD processId, const wchar_t* className, const wchar_t* caption) {
    WindowSearch search = {processId, className, caption, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

HWND FindMainWindowOf(DWORD processId) {
    return FindTopLevel(processId, L"VLMR_DL_MAIN", nullptr);
}

ProgramDriver::ProgramDriver() : folder_(MakeFreshFolder(L"vlmr_e2e_")) {
    exe_ = folder_ + L"VelmoraDownloader.exe";
    if (!CopyFileW(ProgramUnderTest().c_str(), exe_.c_str(), FALSE)) {
        throw std::runtime_error("cannot copy the program into the test folder");
    }
}

ProgramDriver::~ProgramDriver() {
    Kill();
    RemoveFolder(folder_);
}

void ProgramDriver::Kill() {
    if (process_.hProcess == nullptr) {
        return;
    }
    if (Running()) {
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
    process_ = {};
    window_ = nullptr;
}

std::wstring ProgramDriver::PerUserFile(const wchar_t* suffix) const {
    wchar_t user[520];
    DWORD size = 520;
    GetUserNameW(user, &size);
    return folder_ + user + L" Velmora Downloader" + suffix;
}

std::wstring ProgramDriver::SettingsFile() const {
    return PerUserFile(L".ini");
}

std::wstring ProgramDriver::ListFile() const {
    return PerUserFile(L" Lv.txt");
}

void ProgramDriver::WriteList(const std::vector<std::wstring>& records) const {
    std::wstring text;
    for (const std::wstring& record : records) {
        text += (text.empty() ? L"" : L"\n") + record;
    }
    WriteBytes(ListFile(), EncodeUtf16LeText(text));
}

std::vector<std::wstring> ProgramDriver::ReadList() const {
    std::vector<TextLine> lines;
    ReadTextFile(ListFile(), kListFilePieceChars, lines);
    std::vector<std::wstring> records;
    for (const TextLine& line : lines) {
        records.push_back(line.text);
    }
    return records;
}

void ProgramDriver::WriteSetting(const wchar_t* section, const wchar_t* key, const wchar_t* value) {
    WritePrivateProfileStringW(section, key, value, SettingsFile().c_str());
}

PROCESS_INFORMATION ProgramDriver::Start() const {
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION info = {};
    std::wstring commandLine = L"\"" + exe_ + L"\"";
    if (!CreateProcessW(exe_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder_.c_str(), &startup, &info)) {
        throw std::runtime_error("cannot start the program");
    }
    return info;
}

bool ProgramDriver::StartAndWaitForWindow() {
    DWORD start = GetTickCount();
    Kill();  // an earlier start's handles
    process_ = Start();
    WaitForInputIdle(process_.hProcess, 20000);
    startupMs_ = GetTickCount() - start;
    while (GetTickCount() - start < 20000) {
        window_ = FindMainWindowOf(process_.dwProcessId);
        if (window_ != nullptr && IsWindowVisible(window_)) {
            return true;
        }
        Sleep(20);
    }
    return false;
}

bool ProgramDriver::Running() const {
    return WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD ProgramDriver::WaitForExit(HANDLE process, DWORD timeoutMs) const {
    if (WaitForSingleObject(process, timeoutMs) != WAIT_OBJECT_0) {
        return STILL_ACTIVE;
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return code;
}

MessageBoxSeen ProgramDriver::WaitForMessageBox(const wchar_t* caption, DWORD processId,
                                                DWORD timeoutMs) const {
    DWORD start = GetTickCount();
    do {
        HWND box = FindTopLevel(processId, L"#32770", caption);
        if (box != nullptr) {
            wchar_t text[1024] = L"";
            GetDlgItemTextW(box, 0xFFFF, text, 1024);
            return MessageBoxSeen{box, text};
        }
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return MessageBoxSeen{};
}

void ProgramDriver::Answer(const MessageBoxSeen& box, int buttonId) const {
    PostMessageW(box.box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), 0);
}

void ProgramDriver::PostCommand(UINT id) const {
    PostMessageW(window_, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

bool ProgramDriver::WaitForTitle(const wchar_t* title, DWORD timeoutMs) const {
    DWORD start = GetTickCount();
    do {
        wchar_t text[128] = L"";
        GetWindowTextW(window_, text, 128);
        if (wcscmp(text, title) == 0) {
            return true;
        }
        Sleep(20);
    } while (GetTickCount() - start < timeoutMs);
    return false;
}
