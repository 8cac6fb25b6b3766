// Downloading one entry through the system's Internet library: afresh, or continuing an
// interrupted file from its size with a Range request. Any URL the library takes comes here,
// ftp included when the program's own client is not used.
//
// A transfer has no result: its outcome is the row's state and text and one log line.
#pragma once

#include "engine/run_state.h"
#include "engine/transfer_entry.h"

// Downloads the entry into its save path from the first byte. A file already there is kept
// as it is until the server's answer is known to be the download.
void LibraryDownload(const TransferEntry& entry, ConnectionSlot& slot);

// Continues the partial file at the save path. Any answer that does not continue exactly
// where the file ends turns into a fresh download.
void LibraryResume(const TransferEntry& entry, ConnectionSlot& slot);

// Lets the library open at least count connections to one server at once (it allows far
// fewer by default, which would make the run's connections wait for each other).
void AllowConnectionsPerServer(int count);
