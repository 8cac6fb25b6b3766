// Where a download is saved: the save folder (or the desktop) joined with a file name made
// from the entry's URL and/or its number in the list, by the naming rule of the options.
//
// Names come from the URL text alone; no server answer is consulted. Only "/", "?" and, for
// the whole-URL rule, ":" are replaced; every other character stays as it is, so a name the
// file system cannot hold makes the transfer fail to create its file. What is refused here is
// a name that would not lie directly in the save folder or that names a device.
#pragma once

#include <windows.h>

#include <string>

// The values of SAVE_FILE_NAME_TYPE. Any other value names like kNameFromFile.
enum NamingRule {
    kNameFromFile = 0,        // "ファイル名"
    kNameFromWholeUrl = 1,    // "URL全体"
    kNameNumber = 2,          // "番号"
    kNameNumberFile = 3,      // "番号_ファイル名"
    kNameNumberWholeUrl = 4,  // "番号_URL全体"
};

// The longest full save path, in characters.
constexpr size_t kMaxSavePathChars = 1023;

// The last segment of the URL, "?" turned into "^"; the whole URL when it has no "/".
// A URL ending in "/" names its host and folders instead: "http://host/a/b/" gives
// "host)a)b", and after a port the text after the port's ":" ("http://h:8080/" gives "8080").
std::wstring FileNameFromUrl(const std::wstring& url);
// The whole URL with "/" as ")", "?" as "^" and ":" as "}" ("://" as one "}"), without the
// ")" of a trailing "/": "http://host/dir/f.zip" gives "http}host)dir)f.zip".
std::wstring WholeUrlName(const std::wstring& url);
// The entry number (index + 1) padded with zeros to the number of digits of itemCount:
// entries of a list of 150 are numbered 001 to 150.
std::wstring EntryNumberText(int index, int itemCount);
// The extension of the URL's last segment with its dot (".zip"), the query left out; a dot
// inside the query, with none before it, makes the query's tail the extension. Empty when
// the last segment has no dot.
std::wstring UrlExtension(const std::wstring& url);

// The file name of entry index (0-based) of a list of itemCount entries under the rule.
std::wstring SaveFileName(int rule, const std::wstring& url, int index, int itemCount);

// False for a name that must not be used as a save file name: empty, made of dots and spaces
// only ("." and ".."), holding a path separator or ":", or a device name (CON, PRN, AUX, NUL,
// COM1-COM9, LPT1-LPT9, in any case, with or without an extension).
bool IsSafeSaveName(const std::wstring& name);

// folder + "\" + name into path. False when the name is not safe or the path would be longer
// than kMaxSavePathChars. A folder that ends with a backslash (a drive root) gets no second one.
bool JoinSavePath(const std::wstring& folder, const std::wstring& name, std::wstring& path);

// The save folder text without one trailing backslash when it names an existing directory,
// else the desktop directory. Empty when even the desktop cannot be found.
std::wstring SaveFolderOrDesktop(const std::wstring& folderText);

// What a row's save path is made of, taken at one moment: the row's URL, the list's item count,
// the save folder text and the naming rule.
struct SavePathSource {
    int row = -1;
    std::wstring url;
    int itemCount = 0;
    std::wstring folderText;
    int rule = 0;
};
// Takes the row's part and keeps the folder and rule given. On the interface thread; false
// when the row does not exist.
bool ReadSavePathSource(int row, const std::wstring& folderText, int rule, SavePathSource& source);
// The full save path. False (path empty) when the name is refused or the path is too long; the
// transfer then fails as for any unusable path. Not on the interface thread: the folder test
// may touch a slow or vanished network drive.
bool BuildSavePath(const SavePathSource& source, std::wstring& path);
