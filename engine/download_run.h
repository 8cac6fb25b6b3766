// A download run: the connection slots' workers take the list's entries one by one and hand
// each to its transfer, until none is left or a stop is asked for.
#pragma once

#include <windows.h>

#include "engine/run_claims.h"
#include "engine/run_state.h"
#include "engine/run_window.h"

#include <cstdint>

// On the interface thread, with no run active. Switches the window to download mode, takes
// the run's inputs, asks about a missing save folder and missing logs (questions owned by
// mainWindow), loads the logs into every slot and starts one worker per slot. Any "No", or a
// failure, puts the window back as it was. The window door serves the whole run.
void StartDownloadRun(HWND mainWindow, RunWindow& window, RunScope scope);

// The last step of slot 0's worker, on its own thread: waits until every other worker has
// ended, returns the window to idle mode, ends the run's claims (its cursor back at the top),
// ends the run (slot 0's busy flag) and then, unless the run was stopped, tells the user that
// it is complete. Returns when that notice has been closed.
void EndOfRun(ConnectionSlot& slot0);
