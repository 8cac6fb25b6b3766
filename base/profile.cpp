#include "base/profile.h"

#include <windows.h>

namespace {

// Values are read into 1024-character buffers, so at most 1023 characters are seen.
constexpr DWORD kValueBufferChars = 1024;

// The profile functions create a missing file in the ANSI code page and would then store
// characters outside it as "?". A file that starts as an empty UTF-16LE file stays UTF-16LE.
void CreateUnicodeFileIfMissing(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;  // already there, or the write that follows fails and says so
    }
    const BYTE mark[2] = {0xFF, 0xFE};
    DWORD written = 0;
    WriteFile(file, mark, sizeof mark, &written, nullptr);
    CloseHandle(file);
}

}  // namespace

int ReadProfileInt(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                   int defaultValue) {
    return static_cast<int>(GetPrivateProfileIntW(section, key, defaultValue, file.c_str()));
}

std::wstring ReadProfileText(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
    wchar_t buffer[kValueBufferChars];
    GetPrivateProfileStringW(section, key, L"", buffer, kValueBufferChars, file.c_str());
    return buffer;
}

bool WriteProfileText(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                      const std::wstring& value) {
    CreateUnicodeFileIfMissing(file);
    return WritePrivateProfileStringW(section, key, value.c_str(), file.c_str()) != 0;
}
