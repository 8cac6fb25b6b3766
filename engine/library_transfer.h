// Downloading one entry through the system's Internet library: afresh, or continuing an
// interrupted file from its size with a Range request. Any URL the library takes comes here,
// ftp included when the program's own client is not used.
//
// A transfer has no result: its outcome is the row's state and text and one log line.
#pragma once

#include "engine/run_state.h"

#include <string>

// Downloads url into savePath from its first byte. A file already at savePath is kept as it
// is until the server's answer is known to be the download.
void HttpDownload(int row, const std::wstring& url, const std::wstring& savePath,
                  ConnectionSlot& slot);
// Continues the partial file at savePath. Any answer that does not continue exactly where
// the file ends turns into a fresh download.
void HttpResume(int row, const std::wstring& url, const std::wstring& savePath,
                ConnectionSlot& slot);

// Lets the library open at least count connections to one server at once (it allows far
// fewer by default, which would make the run's connections wait for each other).
void AllowConnectionsPerServer(int count);
