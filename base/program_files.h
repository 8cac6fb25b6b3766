// Where the program keeps its per-user files: "<folder><user> Velmora Downloader<suffix>",
// beside the program itself.
#pragma once

#include <string>

// The program folder ends with a backslash. Tests point it at a folder of their own.
std::wstring ProgramFolder();
void SetProgramFolder(const std::wstring& folder);
std::wstring UserName();
std::wstring PerUserFilePath(const std::wstring& folder, const std::wstring& user,
                             const wchar_t* suffix);
std::wstring SettingsFilePath();
std::wstring ListFilePath();
std::wstring LayoutFilePath();
std::wstring ReadmePath();
// Drive and directory of a file path, with the trailing backslash ("" when it has none).
std::wstring FolderOfPath(const std::wstring& path);
