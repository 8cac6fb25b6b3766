// Where the program's code is called by the system: window, dialog and subclass procedures.
// No exception may cross that line, because the system's own frames in between cannot be
// unwound; AtBoundary ends it there. Running out of memory is told to the user with the
// program's memory message, and the window goes on working; anything else is dropped, and the
// message gets the answer of one that was not handled.
#pragma once

#include "base/message_box.h"

#include <windows.h>

#include <new>

template <typename Result, typename Body>
Result AtBoundary(HWND window, Result unhandled, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        TellOutOfMemory(window);
    } catch (...) {
    }
    return unhandled;
}
