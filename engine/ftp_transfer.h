// The program's own FTP client: anonymous login, binary type, passive mode, an optional
// restart offset and one retrieval, over Windows Sockets.
//
// When it cannot complete a transfer it reports nothing itself: a resumed entry is tried
// once more from the start, a fresh one is handed to the library's transfer, which goes
// through the system's Internet library and reports the outcome.
#pragma once

#include "engine/run_state.h"
#include "engine/transfer_entry.h"

#include <string>

enum class FtpStart { kFresh, kResume };

void FtpDownload(const TransferEntry& entry, ConnectionSlot& slot, FtpStart start);
