// The program's own text files: URL files, the list file and the toolbar layout file.
//
// The byte order mark at the start of a file decides its encoding: FF FE is UTF-16LE,
// EF BB BF is UTF-8, FE FF (UTF-16BE) is refused, and without a mark every byte is one
// character of the same value (0 to 255). On disk lines end with CR LF, in memory with LF.
// Files that are rewritten are replaced whole through a temporary file, so a crash leaves
// either the old or the new file; appends stay appends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

enum class TextEncoding { kUtf16Le, kUtf8, kSingleByte };

// One piece of a line as read: at most the piece size in characters, the line feed counted.
struct TextLine {
    std::wstring text;  // without the line feed
    bool hadLineFeed;   // false for the last piece of a file without a final line feed, and
                        // for a piece cut from a longer line
};

// Longest piece, line feed included, read from a URL file and from the list file.
constexpr size_t kUrlFilePieceChars = 1023;
constexpr size_t kListFilePieceChars = 2047;

// Reads the whole file as pieces of at most pieceChars characters: a piece ends after a
// line feed or when it is full, and the rest of a longer line follows as further pieces.
// False when the file cannot be read or starts with FE FF; lines is then empty.
bool ReadTextFile(const std::wstring& path, size_t pieceChars, std::vector<TextLine>& lines,
                  TextEncoding* encoding = nullptr);

// Appends a line break and text ("\n" + text) in the file's encoding, creating the file
// when it is missing. A new or empty file becomes single-byte text without a mark, unless
// text holds a character above U+00FF: then it becomes UTF-16LE with its mark, and an
// existing single-byte file is first converted to UTF-16LE (replaced whole), so no
// character of the file or of text is lost. False for an FE FF file or any failure.
bool AppendTextLine(const std::wstring& path, const std::wstring& text);

// Replaces the file with FF FE and the lines in UTF-16LE, each followed by CR LF except
// the last, which gets CR LF only when lastLineHasLineFeed. No lines: only the mark.
bool RewriteTextFileUtf16(const std::wstring& path, const std::vector<std::wstring>& lines,
                          bool lastLineHasLineFeed);

// FF FE and text in UTF-16LE with every LF written as CR LF: a whole file's bytes.
std::string EncodeUtf16LeText(std::wstring_view text);
// Appends text to such bytes the same way, for a file put together piece by piece.
void AppendUtf16LeText(std::string& bytes, std::wstring_view text);

// Writes bytes to a new temporary file beside path, flushes it to disk and moves it over
// path. On failure the temporary file is deleted and path keeps its old content.
bool ReplaceFileAtomically(const std::wstring& path, std::string_view bytes);
// The name ReplaceFileAtomically writes first: in the same folder, never longer than path.
std::wstring TemporaryPathFor(const std::wstring& path);
