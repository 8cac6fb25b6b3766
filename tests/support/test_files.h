// Files and folders for tests: each test works in a fresh folder of its own.
#pragma once

#include <string>
#include <string_view>

// A new empty folder under the temporary folder, ending with a backslash.
std::wstring MakeFreshFolder(const wchar_t* prefix);
// Removes the folder with everything in it.
void RemoveFolder(const std::wstring& folder);
bool FileExists(const std::wstring& path);
bool WriteBytes(const std::wstring& path, std::string_view bytes);
// The whole file, or empty when it cannot be read.
std::string ReadBytes(const std::wstring& path);
