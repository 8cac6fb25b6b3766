// Work that must run on the interface thread: the list's rows and records, the list file and
// the status bar have that one owner. A worker hands its work over in one SendMessageW and
// waits for it; it holds no lock meanwhile, so the two threads can never wait on each other.
#pragma once

#include <windows.h>

#include <functional>

// The private message that carries the work. Its lParam names work that this process handed
// over itself; a message of this number from anyone else names nothing and does nothing.
constexpr UINT kRunOnInterfaceMessage = WM_APP + 1;

// Called when the main window is created and destroyed.
void SetInterfaceWindow(HWND mainWindow);

// Runs work at once on the interface thread, else sends it there and waits. Returns false when
// there is no main window (any more) to carry it out.
bool RunOnInterfaceThread(const std::function<void()>& work);

// Queues work for the interface thread and returns at once; for threads that the interface
// thread may itself be waiting for. Work still queued when the window goes is dropped.
void PostToInterfaceThread(std::function<void()> work);

// The main window's handling of kRunOnInterfaceMessage.
LRESULT RunSentWork(WPARAM wParam, LPARAM lParam);
