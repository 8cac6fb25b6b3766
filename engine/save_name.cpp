#include "engine/save_name.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "list/download_list.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

std::wstring Replace(std::wstring text, wchar_t from, wchar_t to) {
    std::replace(text.begin(), text.end(), from, to);
    return text;
}

size_t DigitCount(int value) {
    size_t digits = 0;
    for (; value > 0; value /= 10) {
        ++digits;
    }
    return digits;
}

wchar_t AsciiUpper(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// Windows opens the device, not a file in the folder, for these names whatever the folder and
// the extension: "C:\dl\nul.txt" is the null device. Trailing spaces before the extension do
// not change that either.
bool IsDeviceName(const std::wstring& name) {
    std::wstring base = name.substr(0, name.find(L'.'));
    base.erase(base.find_last_not_of(L' ') + 1);
    std::transform(base.begin(), base.end(), base.begin(), AsciiUpper);
    if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL") {
        return true;
    }
    if (base.size() != 4 || (base.compare(0, 3, L"COM") != 0 && base.compare(0, 3, L"LPT") != 0)) {
        return false;
    }
    // The superscript digits count as the digits 1 to 3 for the device names.
    wchar_t digit = base[3];
    return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
           digit == L'\u00B3';
}

struct ItemListFree {
    void operator()(ITEMIDLIST* items) const { CoTaskMemFree(items); }
};

std::wstring DesktopFolder() {
    LPITEMIDLIST items = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOPDIRECTORY, &items))) {
        return std::wstring();
    }
    std::unique_ptr<ITEMIDLIST, ItemListFree> owner(items);
    wchar_t path[MAX_PATH] = L"";
    if (!SHGetPathFromIDListW(items, path)) {
        return std::wstring();
    }
    return path;
}

}  // namespace

std::wstring FileNameFromUrl(const std::wstring& url) {
    if (url.empty() || url.back() != L'/') {
        size_t slash = url.rfind(L'/');
        return Replace(slash == std::wstring::npos ? url : url.substr(slash + 1), L'?', L'^');
    }
    // A folder URL has no last segment; its host and folders make the name. The name starts
    // after the last ":", which is the scheme's or, with a port, the port's.
    std::wstring text = url.substr(0, url.size() - 1);
    size_t colon = text.rfind(L':');
    std::wstring name =
        Replace(Replace(colon == std::wstring::npos ? text : text.substr(colon + 1), L'/', L')'),
                L'?', L'^');
    if (colon != std::wstring::npos && name.compare(0, 2, L"))") == 0) {
        name.erase(0, 2);  // the "//" after the scheme
    }
    return name;
}

std::wstring WholeUrlName(const std::wstring& url) {
    std::wstring name;
    name.reserve(url.size());
    for (size_t i = 0; i < url.size(); ++i) {
        switch (url[i]) {
            case L'/':
                name += L')';
                break;
            case L'?':
                name += L'^';
                break;
            case L':':
                name += L'}';
                if (url.compare(i + 1, 2, L"//") == 0) {
                    i += 2;
                }
                break;
            default:
                name += url[i];
        }
    }
    if (!name.empty() && name.back() == L')') {
        name.pop_back();
    }
    return name;
}

std::wstring EntryNumberText(int index, int itemCount) {
    std::wstring number = std::to_wstring(static_cast<long long>(index) + 1);
    size_t width = DigitCount(itemCount);
    if (number.size() < width) {
        number.insert(0, width - number.size(), L'0');
    }
    return number;
}

std::wstring UrlExtension(const std::wstring& url) {
    // Walking back from the end, each "?" moves the end of the extension to itself; the first
    // "." or "/" decides. A dot at the very first character does not count.
    size_t end = url.size();
    for (size_t i = url.size(); i-- > 1;) {
        if (url[i] == L'?') {
            end = i;
        } else if (url[i] == L'.') {
            return url.substr(i, end - i);
        } else if (url[i] == L'/') {
            break;
        }
    }
    return std::wstring();
}

std::wstring SaveFileName(int rule, const std::wstring& url, int index, int itemCount) {
    switch (rule) {
        case kNameFromWholeUrl:
            return WholeUrlName(url);
        case kNameNumber:
            return EntryNumberText(index, itemCount) + UrlExtension(url);
        case kNameNumberFile:
            return EntryNumberText(index, itemCount) + L'_' + FileNameFromUrl(url);
        case kNameNumberWholeUrl:
            return EntryNumberText(index, itemCount) + L'_' + WholeUrlName(url);
        default:
            return FileNameFromUrl(url);
    }
}

bool IsSafeSaveName(const std::wstring& name) {
    // A separator or a ":" (drive, alternate data stream) would put the data somewhere other
    // than the save folder; a name of dots and spaces is the folder itself or its parent once
    // Windows has dropped the trailing dots and spaces.
    return name.find_first_not_of(L". ") != std::wstring::npos &&
           name.find_first_of(L"\\/:") == std::wstring::npos && !IsDeviceName(name);
}

bool JoinSavePath(const std::wstring& folder, const std::wstring& name, std::wstring& path) {
    path.clear();
    if (folder.empty() || !IsSafeSaveName(name)) {
        return false;
    }
    std::wstring joined = folder;
    if (joined.back() != L'\\') {
        joined += L'\\';
    }
    joined += name;
    if (joined.size() > kMaxSavePathChars) {
        return false;
    }
    path = std::move(joined);
    return true;
}

std::wstring SaveFolderOrDesktop(const std::wstring& folderText) {
    std::vector<wchar_t> buffer(folderText.begin(), folderText.end());
    buffer.push_back(L'\0');
    PathRemoveBackslashW(buffer.data());
    std::wstring folder = buffer.data();
    // Also during a run the folder may have gone; the files then go to the desktop rather
    // than fail one by one.
    if (!folder.empty() && PathIsDirectoryW(folder.c_str())) {
        return folder;
    }
    return DesktopFolder();
}

bool ReadSavePathSource(int row, const std::wstring& folderText, int rule, SavePathSource& source) {
    // Read in one go, so the number's width is the item count of the same moment as the URL.
    source.row = row;
    source.itemCount = RowCount();
    if (row < 0 || row >= source.itemCount) {
        return false;
    }
    source.url = RowText(row, kColumnUrl);
    source.folderText = folderText;
    source.rule = rule;
    return true;
}

bool BuildSavePath(const SavePathSource& source, std::wstring& path) {
    path.clear();
    std::wstring folder = SaveFolderOrDesktop(source.folderText);
    return JoinSavePath(folder, SaveFileName(source.rule, source.url, source.row, source.itemCount),
                        path);
}
