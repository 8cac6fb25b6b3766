// The three logs a run writes: every finished, interrupted or failed URL is appended to the
// log named in its path bar (locked for the run, so as the run took it at its start), unless
// the log held it when the run started.
#pragma once

#include "engine/run_state.h"

#include <string>

// Each returns true when the log file could be opened (whether or not a line was written)
// and false otherwise; the transfers go on either way and nothing is reported.
bool AppendDownloadLog(const ConnectionSlot& slot, const std::wstring& url);
bool AppendCancelLog(const ConnectionSlot& slot, const std::wstring& url);
bool AppendErrorLog(const ConnectionSlot& slot, const std::wstring& url);
