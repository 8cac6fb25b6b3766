#include "base/text_file.h"

#include "base/file_io.h"
#include "base/owned_handle.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <new>
#include <utility>

namespace {

constexpr std::string_view kUtf16LeMark = "\xFF\xFE";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16BeMark = "\xFE\xFF";

constexpr char32_t kReplacementCharacter = 0xFFFD;

// ReadFile counts in DWORDs; larger files are read in chunks of this size.
constexpr size_t kIoChunkBytes = 1 << 26;

// A leftover temporary file of a killed process may carry the name we would use next.
constexpr int kTemporaryNameAttempts = 100;

// Numbers the temporary files of this process, so that two saves never share one.
std::atomic<unsigned> gTemporaryFileCounter{0};

FileHandle OpenForReading(const std::wstring& path) {
    return FileHandle(CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// Reads the file from its start to its end in one go.
bool ReadAll(HANDLE file, std::string& bytes) {
    LARGE_INTEGER size;
    LARGE_INTEGER start = {};
    if (!GetFileSizeEx(file, &size) || !SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) {
        return false;
    }
    if (static_cast<unsigned long long>(size.QuadPart) > bytes.max_size()) {
        return false;
    }
    bytes.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min(bytes.size() - done, kIoChunkBytes));
        DWORD got = 0;
        if (!ReadFile(file, bytes.data() + done, chunk, &got, nullptr)) {
            return false;
        }
        if (got == 0) {
            break;  // the file has become shorter since its size was asked
        }
        done += got;
    }
    bytes.resize(done);
    return true;
}

// The encoding announced by the start of a file and the length of its mark.
// False for the UTF-16BE mark, which the program does not read or write.
bool DetectEncoding(std::string_view start, TextEncoding& encoding, size_t& markLength) {
    if (start.starts_with(kUtf16BeMark)) {
        return false;
    }
    if (start.starts_with(kUtf16LeMark)) {
        encoding = TextEncoding::kUtf16Le;
        markLength = kUtf16LeMark.size();
    } else if (start.starts_with(kUtf8Mark)) {
        encoding = TextEncoding::kUtf8;
        markLength = kUtf8Mark.size();
    } else {
        encoding = TextEncoding::kSingleByte;
        markLength = 0;
    }
    return true;
}

std::string_view MarkOf(TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::kUtf16Le:
            return kUtf16LeMark;
        case TextEncoding::kUtf8:
            return kUtf8Mark;
        case TextEncoding::kSingleByte:
            break;
    }
    return {};
}

// Gathers decoded characters the way the program keeps text in memory: CR LF becomes LF (a
// lone CR stays), and NUL characters are left out. Every line ends up as a C string (for
// PathIsURLW, the list view's cells, the row records), where a NUL would silently cut it;
// leaving the NUL out keeps the rest of the line.
class TextCollector {
public:
    explicit TextCollector(size_t mostChars) { text_.reserve(mostChars); }

    void Put(char32_t c) {
        if (c >= 0x10000) {
            c -= 0x10000;
            PutUnit(static_cast<wchar_t>(0xD800 + (c >> 10)));
            PutUnit(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
        } else {
            PutUnit(static_cast<wchar_t>(c));
        }
    }

    std::wstring Finish() {
        if (pendingReturn_) {
            text_ += L'\r';
            pendingReturn_ = false;
        }
        return std::move(text_);
    }

private:
    void PutUnit(wchar_t unit) {
        if (unit == L'\0') {
            return;
        }
        if (pendingReturn_) {
            pendingReturn_ = false;
            if (unit == L'\n') {
                text_ += L'\n';
                return;
            }
            text_ += L'\r';
        }
        if (unit == L'\r') {
            pendingReturn_ = true;
        } else {
            text_ += unit;
        }
    }

    std::wstring text_;
    bool pendingReturn_ = false;
};

// Each maximal part of an ill-formed sequence (a stray continuation byte, an overlong form,
// an encoded surrogate, a value above U+10FFFF, a sequence cut short) becomes one U+FFFD, the
// way the Unicode standard recommends, so the following characters still come through.
void DecodeUtf8(std::string_view bytes, TextCollector& out) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t size = bytes.size();
    size_t index = 0;
    while (index < size) {
        unsigned lead = data[index];
        if (lead < 0x80) {
            out.Put(lead);
            ++index;
            continue;
        }
        size_t length = 0;
        char32_t codePoint = 0;
        // The range of the second byte excludes overlong forms, surrogates and values above
        // U+10FFFF; every later byte is 80 to BF.
        unsigned low = 0x80;
        unsigned high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            codePoint = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            codePoint = lead & 0x0F;
            low = lead == 0xE0 ? 0xA0 : 0x80;
            high = lead == 0xED ? 0x9F : 0xBF;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            codePoint = lead & 0x07;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            out.Put(kReplacementCharacter);
            ++index;
            continue;
        }
        size_t used = 1;
        while (used < length && index + used < size) {
            unsigned next = data[index + used];
            if (next < low || next > high) {
                break;
            }
            codePoint = (codePoint << 6) | (next & 0x3F);
            low = 0x80;
            high = 0xBF;
            ++used;
        }
        index += used;
        out.Put(used == length ? codePoint : kReplacementCharacter);
    }
}

// A trailing odd byte is half a character and is dropped.
void DecodeUtf16Le(std::string_view bytes, TextCollector& out) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (size_t index = 0; index + 1 < bytes.size(); index += 2) {
        out.Put(static_cast<char32_t>(data[index] | (data[index + 1] << 8)));
    }
}

void DecodeSingleByte(std::string_view bytes, TextCollector& out) {
    for (char byte : bytes) {
        out.Put(static_cast<unsigned char>(byte));
    }
}

bool DecodeText(std::string_view bytes, std::wstring& text, TextEncoding& encoding) {
    size_t markLength = 0;
    if (!DetectEncoding(bytes, encoding, markLength)) {
        return false;
    }
    bytes.remove_prefix(markLength);
    switch (encoding) {
        case TextEncoding::kUtf16Le: {
            TextCollector collector(bytes.size() / 2);
            DecodeUtf16Le(bytes, collector);
            text = collector.Finish();
            break;
        }
        case TextEncoding::kUtf8: {
            TextCollector collector(bytes.size());
            DecodeUtf8(bytes, collector);
            text = collector.Finish();
            break;
        }
        case TextEncoding::kSingleByte: {
            TextCollector collector(bytes.size());
            DecodeSingleByte(bytes, collector);
            text = collector.Finish();
            break;
        }
    }
    return true;
}

// Cuts text the way the runtime's fgetws with room for pieceChars characters does.
void SplitIntoPieces(const std::wstring& text, size_t pieceChars, std::vector<TextLine>& lines) {
    pieceChars = std::max<size_t>(pieceChars, 1);
    auto start = text.begin();
    while (start != text.end()) {
        auto windowEnd = start + std::min<size_t>(text.end() - start, pieceChars);
        auto lineFeed = std::find(start, windowEnd, L'\n');
        if (lineFeed != windowEnd) {
            lines.push_back({std::wstring(start, lineFeed), true});
            start = lineFeed + 1;
        } else {
            lines.push_back({std::wstring(start, windowEnd), false});
            start = windowEnd;
        }
    }
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// One character in UTF-16LE (c is a code unit), UTF-8 (c is a code point) or as one byte
// (c is at most U+00FF; callers make sure of it).
void AppendCharacter(std::string& out, char32_t c, TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::kUtf16Le:
            out += static_cast<char>(c & 0xFF);
            out += static_cast<char>((c >> 8) & 0xFF);
            break;
        case TextEncoding::kUtf8:
            AppendUtf8(out, c);
            break;
        case TextEncoding::kSingleByte:
            out += static_cast<char>(c);
            break;
    }
}

// The code point of the surrogate at text[index], advancing index over a following low
// surrogate; an unpaired surrogate has no UTF-8 form and becomes U+FFFD.
char32_t TakeSurrogatePair(std::wstring_view text, size_t& index) {
    char32_t high = text[index];
    if (high <= 0xDBFF && index + 1 < text.size() && text[index + 1] >= 0xDC00 &&
        text[index + 1] <= 0xDFFF) {
        char32_t low = text[++index];
        return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
    }
    return kReplacementCharacter;
}

// Text as it is stored on disk: every LF written as CR LF, as the runtime's text mode does.
void AppendEncoded(std::string& out, std::wstring_view text, TextEncoding encoding) {
    for (size_t index = 0; index < text.size(); ++index) {
        char32_t c = text[index];
        if (c == U'\n') {
            AppendCharacter(out, U'\r', encoding);
        } else if (encoding == TextEncoding::kUtf8 && c >= 0xD800 && c <= 0xDFFF) {
            c = TakeSurrogatePair(text, index);
        }
        AppendCharacter(out, c, encoding);
    }
}

bool NeedsMoreThanOneByte(std::wstring_view text) {
    return std::any_of(text.begin(), text.end(), [](wchar_t c) { return c > 0xFF; });
}

// The single-byte file as UTF-16LE with its mark, every byte kept as the character of the
// same value (its CR LF pairs stay as they are), followed by the appended line.
std::string ConvertSingleByteAndAppend(std::string_view oldBytes, const std::wstring& text) {
    std::string bytes(kUtf16LeMark);
    bytes.reserve(kUtf16LeMark.size() + 2 * oldBytes.size() + 2 * (text.size() + 2));
    for (char byte : oldBytes) {
        bytes += byte;
        bytes += '\0';
    }
    AppendEncoded(bytes, L"\n", TextEncoding::kUtf16Le);
    AppendEncoded(bytes, text, TextEncoding::kUtf16Le);
    return bytes;
}

std::wstring Hex(unsigned value) {
    wchar_t digits[16];
    swprintf(digits, 16, L"%x", value);
    return digits;
}

}  // namespace

std::wstring TemporaryPathFor(const std::wstring& path) {
    size_t folderLength = path.find_last_of(L"\\/:") + 1;  // 0 without a folder
    size_t nameLength = path.size() - folderLength;
    for (;;) {
        // "~<save>-<process>.tmp", unique per process and save; cut to the replaced file's
        // own length, so that every file that can be named can be saved, keeping the save's
        // number first. A cut name may be taken: the caller tries the next.
        std::wstring name =
            L"~" + Hex(++gTemporaryFileCounter) + L"-" + Hex(GetCurrentProcessId()) + L".tmp";
        if (name.size() > nameLength && nameLength > 0) {
            name = name.substr(1, nameLength);
        }
        if (CompareStringOrdinal(name.c_str(), -1, path.c_str() + folderLength, -1, TRUE) !=
            CSTR_EQUAL) {
            return path.substr(0, folderLength) + name;
        }
    }
}

bool ReadTextFile(const std::wstring& path, size_t pieceChars, std::vector<TextLine>& lines,
                  TextEncoding* encoding) {
    lines.clear();
    try {
        std::wstring text;
        TextEncoding found = TextEncoding::kSingleByte;
        {
            std::string bytes;
            FileHandle file = OpenForReading(path);
            if (!file || !ReadAll(file.get(), bytes) || !DecodeText(bytes, text, found)) {
                return false;
            }
        }
        SplitIntoPieces(text, pieceChars, lines);
        if (encoding != nullptr) {
            *encoding = found;
        }
        return true;
    } catch (const std::bad_alloc&) {
        // A file too large for this process's memory cannot be read at all.
        lines.clear();
        return false;
    }
}

bool AppendTextLine(const std::wstring& path, const std::wstring& text) {
    try {
        // Append access alone makes every write land at the end of the file.
        FileHandle file(CreateFileW(path.c_str(), GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return false;
        }
        char start[3];
        DWORD startLength = 0;
        if (!ReadFile(file.get(), start, sizeof start, &startLength, nullptr)) {
            return false;
        }
        bool needsUtf16 = NeedsMoreThanOneByte(text);
        std::string bytes;
        TextEncoding encoding = TextEncoding::kSingleByte;
        if (startLength == 0) {
            encoding = needsUtf16 ? TextEncoding::kUtf16Le : TextEncoding::kSingleByte;
            bytes = MarkOf(encoding);
        } else {
            size_t markLength = 0;
            if (!DetectEncoding(std::string_view(start, startLength), encoding, markLength)) {
                return false;
            }
            if (encoding == TextEncoding::kSingleByte && needsUtf16) {
                // One byte per character cannot hold the text: the file becomes UTF-16LE,
                // replaced whole with the new line already in it.
                std::string oldBytes;
                if (!ReadAll(file.get(), oldBytes)) {
                    return false;
                }
                // The move over the file fails while it is open.
                file.Close();
                return ReplaceFileAtomically(path, ConvertSingleByteAndAppend(oldBytes, text));
            }
        }
        AppendEncoded(bytes, L"\n", encoding);
        AppendEncoded(bytes, text, encoding);
        bool written = WriteAll(file.get(), bytes);
        return file.Close() && written;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::string EncodeUtf16LeText(std::wstring_view text) {
    std::string bytes(kUtf16LeMark);
    bytes.reserve(kUtf16LeMark.size() + 2 * text.size() +
                  2 * static_cast<size_t>(std::count(text.begin(), text.end(), L'\n')));
    AppendUtf16LeText(bytes, text);
    return bytes;
}

void AppendUtf16LeText(std::string& bytes, std::wstring_view text) {
    // A wchar_t is a UTF-16 code unit, little-endian on Windows: each line is its own bytes,
    // copied whole, and a CR goes before its LF. A list of a million rows is saved this way.
    static_assert(sizeof(wchar_t) == 2);
    constexpr wchar_t kLineEnd[] = L"\r\n";
    size_t start = 0;
    for (;;) {
        size_t lineFeed = text.find(L'\n', start);
        size_t end = lineFeed == std::wstring_view::npos ? text.size() : lineFeed;
        bytes.append(reinterpret_cast<const char*>(text.data() + start), 2 * (end - start));
        if (lineFeed == std::wstring_view::npos) {
            return;
        }
        bytes.append(reinterpret_cast<const char*>(kLineEnd), 4);
        start = lineFeed + 1;
    }
}

bool RewriteTextFileUtf16(const std::wstring& path, const std::vector<std::wstring>& lines,
                          bool lastLineHasLineFeed) {
    try {
        std::wstring text;
        for (size_t index = 0; index < lines.size(); ++index) {
            text += lines[index];
            if (index + 1 < lines.size() || lastLineHasLineFeed) {
                text += L'\n';
            }
        }
        return ReplaceFileAtomically(path, EncodeUtf16LeText(text));
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool ReplaceFileAtomically(const std::wstring& path, std::string_view bytes) {
    // The temporary file lies beside the target so that the move is a rename within one
    // volume. It is not hidden: the moved file keeps the temporary file's attributes.
    std::wstring temporaryPath;
    FileHandle file;
    for (int attempt = 0; attempt < kTemporaryNameAttempts && !file; ++attempt) {
        temporaryPath = TemporaryPathFor(path);
        file = FileHandle(CreateFileW(temporaryPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD error = GetLastError();
        if (!file && error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            return false;
        }
    }
    if (!file) {
        return false;
    }
    bool written = WriteAll(file.get(), bytes) && FlushFileBuffers(file.get());
    written = file.Close() && written;
    if (written && MoveFileExW(temporaryPath.c_str(), path.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    DeleteFileW(temporaryPath.c_str());
    return false;
}
