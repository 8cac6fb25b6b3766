// A download run: the connection slots' workers take the list's entries one by one and hand
// each to its transfer, until none is left or a stop is asked for.
#pragma once

#include <windows.h>

enum class RunScope {
    kAllEntries,       // every Standby and Interrupted entry
    kSelectedEntries,  // the entries selected when the run started, whatever their state
};

// On the interface thread, with no run active. Switches the window to download mode, asks
// about a missing save folder and missing logs, loads the logs into every slot and starts
// one worker per slot. Any "No", or a failure, puts the window back as it was.
void StartDownloadRun(HWND mainWindow, RunScope scope);
