// Opening a save file, and writing through an open file handle: whole writes that notice a full
// disk, emptying a file in place, and the size of a partial file that a transfer may continue. The
// text-file layer and both transfers write through these.
#pragma once

#include "base/owned_handle.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

// Opens a transfer's save file for writing, readable by others meanwhile, as disposition says
// (OPEN_ALWAYS, OPEN_EXISTING); an empty path opens nothing. GetLastError tells afterwards
// whether the file was there.
FileHandle OpenSaveFile(const std::wstring& path, DWORD disposition);

// Writes every byte or returns false: a full disk takes less than it is given.
bool WriteAll(HANDLE file, std::string_view bytes);
// Empties the file: moves to its start and ends it there.
bool TruncateFile(HANDLE file);
// Moves to the end of the file, where what continues it is written.
bool SeekToEnd(HANDLE file);
// The size of a partial file that a transfer may continue; false when it cannot be read or
// is larger than 2^52 bytes, beyond which a byte count carried as a double loses bytes.
bool ResumableSize(HANDLE file, int64_t& size);
