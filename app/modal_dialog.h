// The frame the program's simple modal dialogs share: the dialog's data travels with the
// window, Cancel (Escape) and the close box end it with 0, and no exception leaves the
// dialog procedure (out of memory is told, the dialog stays as it was). Each dialog gives its
// own start and its own control commands.
#pragma once

#include "base/exception_boundary.h"

#include <windows.h>

template <typename Data>
struct DialogHandlers {
    void (*start)(HWND dialog, const Data& data);
    // Every command but Cancel; ending the dialog with 1 (OK) is the handler's business.
    void (*command)(HWND dialog, WORD id, Data& data);
};

template <typename Data, const DialogHandlers<Data>& kHandlers>
INT_PTR CALLBACK ModalDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return AtBoundary<INT_PTR>(dialog, FALSE, [&]() -> INT_PTR {
        switch (message) {
            case WM_INITDIALOG:
                SetWindowLongPtrW(dialog, DWLP_USER, lParam);
                kHandlers.start(dialog, *reinterpret_cast<Data*>(lParam));
                return TRUE;
            case WM_COMMAND:
                if (LOWORD(wParam) == IDCANCEL) {
                    EndDialog(dialog, 0);
                } else {
                    kHandlers.command(
                        dialog, LOWORD(wParam),
                        *reinterpret_cast<Data*>(GetWindowLongPtrW(dialog, DWLP_USER)));
                }
                return TRUE;
            case WM_CLOSE:
                EndDialog(dialog, 0);
                return TRUE;
            default:
                return FALSE;
        }
    });
}

// Shows the dialog resource owned by the main window; true when it ended with OK.
template <typename Data, const DialogHandlers<Data>& kHandlers>
bool RunModalDialog(HWND owner, int resourceId, Data& data) {
    auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE));
    return DialogBoxParamW(instance, MAKEINTRESOURCEW(resourceId), owner,
                           ModalDialogProc<Data, kHandlers>, reinterpret_cast<LPARAM>(&data)) == 1;
}
