#include "app/program.h"

#include "app/main_window.h"
#include "app/settings.h"
#include "base/message_box.h"
#include "list/list_file.h"

#include <winsock2.h>

namespace {

enum class InstanceCheck { kFirst, kAlreadyRunning, kFailed };

// The mutex stays open for the life of the process. It carries a null DACL so that every
// account on the machine sees the same instance.
InstanceCheck TakeInstanceMutex() {
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &descriptor, TRUE};
    HANDLE mutex = CreateMutexW(&attributes, FALSE, L"VLMR_DL_MUTEX");
    if (mutex == nullptr) {
        return InstanceCheck::kFailed;
    }
    return GetLastError() == ERROR_ALREADY_EXISTS ? InstanceCheck::kAlreadyRunning
                                                  : InstanceCheck::kFirst;
}

int RunMessageLoop(HWND mainWindow, HACCEL accelerators) {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMainWindowMessage(mainWindow, accelerators, message);
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int RunProgram(HINSTANCE instance) {
    switch (TakeInstanceMutex()) {
        case InstanceCheck::kFailed:
            ShowUserMessage(nullptr, L"ミューテックスの取得に失敗しました", kCaptionError,
                            MB_OK | MB_ICONERROR);
            return -1;
        case InstanceCheck::kAlreadyRunning:
            ShowUserMessage(nullptr, L"既に起動しています", kCaptionConfirm, MB_OK);
            return 0;
        case InstanceCheck::kFirst:
            break;
    }

    WSADATA wsaData;
    if (WSAStartup(MAKEWORD(2, 0), &wsaData) != 0) {
        ShowUserMessage(nullptr, L"Winsockの初期化に失敗しました", kCaptionError,
                        MB_OK | MB_ICONERROR);
        return -1;
    }

    LoadSettings();

    HWND mainWindow = StartMainWindow(instance);
    if (mainWindow == nullptr) {
        WSACleanup();
        return -1;
    }
    TellOfUnreadListFile(mainWindow);

    int exitCode = RunMessageLoop(mainWindow, LoadAcceleratorsW(instance, L"VLMR_DL_ACC"));
    WSACleanup();
    return exitCode;
}
