// The door to a settings file's keys: the system's profile functions, with what the program
// needs around them.
#pragma once

#include <string>

int ReadProfileInt(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                   int defaultValue);
// At most 1023 characters of the value; "" when the key is missing.
std::wstring ReadProfileText(const std::wstring& file, const wchar_t* section, const wchar_t* key);
// Creates a missing file as an empty UTF-16LE file first, so that any text survives.
bool WriteProfileText(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                      const std::wstring& value);
