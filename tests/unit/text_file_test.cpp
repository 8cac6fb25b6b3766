// The text-file layer on real files: encodings by mark, line ends, pieces, damaged input,
// appends (including the switch to UTF-16LE for wide characters), rewrites and replacement
// (with temporary names that fit wherever the target's does).
#include "base/text_file.h"
#include "tests/support/test_files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <random>

namespace {

const std::wstring kWideUrl = L"http://\u4F8B\u3048.jp/\u00FC";

std::string Utf16(std::wstring_view text) {
    std::string bytes;
    for (wchar_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

// The pieces in one string: each piece's text, "\n" when it ended with a line feed, and "|"
// between pieces.
std::wstring Pieces(const std::vector<TextLine>& lines) {
    std::wstring joined;
    for (size_t index = 0; index < lines.size(); ++index) {
        joined += (index == 0 ? L"" : L"|") + lines[index].text;
        joined += lines[index].hadLineFeed ? L"\n" : L"";
    }
    return joined;
}

// A fresh folder under the temporary folder for each test, removed with its files after it.
class TextFile : public testing::Test {
protected:
    void SetUp() override {
        folder_ = MakeFreshFolder(L"vlmr_text_");
        path_ = folder_ + L"urls.txt";
    }
    void TearDown() override { RemoveFolder(folder_); }
    std::vector<std::wstring> FileNames() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder_ + L"*").c_str(), &found);
        while (search != INVALID_HANDLE_VALUE) {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                names.push_back(found.cFileName);
            }
            if (!FindNextFileW(search, &found)) {
                FindClose(search);
                break;
            }
        }
        return names;
    }
    void Write(std::string_view bytes) {
        HANDLE file =
            CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        ASSERT_EQ(written, bytes.size());
    }
    std::string Bytes(const std::wstring& path) const {
        HANDLE file =
            CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        std::string bytes(1 << 16, '\0');
        DWORD got = 0;
        bool read = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
        CloseHandle(file);
        return read ? bytes.substr(0, got) : "<unreadable>";
    }
    // The identity of the file: a file replaced by a move has another one.
    ULONGLONG FileIndex() const {
        HANDLE file = CreateFileW(path_.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        BY_HANDLE_FILE_INFORMATION info = {};
        GetFileInformationByHandle(file, &info);
        CloseHandle(file);
        return (static_cast<ULONGLONG>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    std::wstring ReadPieces(std::string_view bytes, size_t pieceChars = kUrlFilePieceChars) {
        Write(bytes);
        std::vector<TextLine> lines;
        EXPECT_TRUE(ReadTextFile(path_, pieceChars, lines));
        return Pieces(lines);
    }

    std::wstring folder_;
    std::wstring path_;
};

TEST_F(TextFile, ReadDecodesEachEncodingLineEndAndPiece) {
    const std::wstring a1022(1022, L'a');
    const std::wstring x1023(1023, L'x');
    const struct {
        std::string bytes;
        std::wstring pieces;
    } cases[] = {
        {"", L""},
        {"\xFF\xFE", L""},
        {"\xFF\xFE" + Utf16(L"\r\nhttp://a/\u00E4\r\nlast"), L"\n|http://a/\u00E4\n|last"},
        {"\xEF\xBB\xBF\r\nhttp://a/\xC3\xA4\r\nlast", L"\n|http://a/\u00E4\n|last"},
        {"\r\nhttp://a/\xE4\r\nlast", L"\n|http://a/\u00E4\n|last"},
        {"a\nb\rc\r\r\nd\r", L"a\n|b\rc\r\n|d\r"},
        {"\xEF\xBB\xBF\xF0\x9F\x98\x80", L"\U0001F600"},
        // Each maximal ill-formed part is one U+FFFD: a stray continuation byte, the overlong
        // lead C0 and its continuation, an encoded surrogate, F5, a sequence cut short by "x"
        // and one cut short by the end of the file.
        {"\xEF\xBB\xBF"
         "a\x80"
         "b\xC0\xAF"
         "c\xED\xA0\x80"
         "d\xF5"
         "e\xE3\x81x\xE3\x81",
         L"a\uFFFDb\uFFFD\uFFFDc\uFFFD\uFFFD\uFFFDd\uFFFDe\uFFFDx\uFFFD"},
        {"\xFF\xFE" + Utf16(L"ab") + "c", L"ab"},
        {"\xFF\xFE" + Utf16(std::wstring(L"a\0b\r\0\nc\0", 8)), L"ab\n|c"},
        {std::string("a\0b\r\n\0", 6), L"ab\n"},
        {"\xEF\xBB", L"\u00EF\u00BB"},
        {std::string(1022, 'a') + "\r\n" + std::string(1022, 'a') + "b\r\n",
         a1022 + L"\n|" + a1022 + L"b|\n"},
        {std::string(2500, 'x'), x1023 + L"|" + x1023 + L"|" + std::wstring(454, L'x')},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(ReadPieces(test.bytes), test.pieces);
    }
    EXPECT_EQ(ReadPieces(std::string(2047, 'y') + "\r\n", kListFilePieceChars),
              std::wstring(2047, L'y') + L"|\n");
}

TEST_F(TextFile, ReadReportsTheEncodingAndRefusesBigEndianAndMissingFiles) {
    std::vector<TextLine> lines = {{L"old", true}};
    TextEncoding encoding = TextEncoding::kUtf8;
    EXPECT_FALSE(ReadTextFile(path_, kUrlFilePieceChars, lines, &encoding));
    EXPECT_TRUE(lines.empty());

    const std::pair<std::string, TextEncoding> marks[] = {
        {std::string("\xFF\xFEx\0", 4), TextEncoding::kUtf16Le},
        {"\xEF\xBB\xBFx", TextEncoding::kUtf8},
        {"x", TextEncoding::kSingleByte},
    };
    for (const auto& [bytes, expected] : marks) {
        Write(bytes);
        ASSERT_TRUE(ReadTextFile(path_, kUrlFilePieceChars, lines, &encoding));
        EXPECT_EQ(encoding, expected);
        EXPECT_EQ(Pieces(lines), L"x");
    }

    Write(std::string("\xFE\xFF\0h\0t", 6));
    EXPECT_FALSE(ReadTextFile(path_, kUrlFilePieceChars, lines));
    EXPECT_TRUE(lines.empty());
}

TEST_F(TextFile, JunkAndHugeFilesLoadWithoutHanging) {
    std::mt19937 random(12345);
    std::string junk(1 << 20, '\0');
    for (char& byte : junk) {
        byte = static_cast<char>(random());
    }
    for (std::string mark : {"\xFF\xFE", "\xEF\xBB\xBF", ""}) {
        std::wstring pieces = ReadPieces(mark + junk);
        EXPECT_GT(pieces.size(), 100000u);
        EXPECT_EQ(pieces.find(L'\0'), std::wstring::npos);
    }

    std::string many;
    for (int line = 0; line < 100000; ++line) {
        many += "http://example.com/" + std::to_string(line) + "\r\n";
    }
    Write(std::string(100000, 'z') + "\r\n" + many);
    std::vector<TextLine> lines;
    ASSERT_TRUE(ReadTextFile(path_, kUrlFilePieceChars, lines));
    ASSERT_EQ(lines.size(), 98u + 100000u);  // 97 full pieces, then 769 characters and LF
    EXPECT_EQ(Pieces({lines[96], lines[97]}),
              std::wstring(1023, L'z') + L"|" + std::wstring(769, L'z') + L"\n");
    EXPECT_EQ(Pieces({lines.back()}), L"http://example.com/99999\n");
}

TEST_F(TextFile, AppendWritesALineBreakAndTheTextInTheFilesEncoding) {
    const struct {
        std::string before;
        std::wstring text;
        std::string after;
    } cases[] = {
        {"\r\nhttp://a/", L"http://b/\u00E9", "\r\nhttp://a/\r\nhttp://b/\xE9"},
        {"\xFF\xFE" + Utf16(L"\r\nhttp://a/"), kWideUrl,
         "\xFF\xFE" + Utf16(L"\r\nhttp://a/\r\n" + kWideUrl)},
        {"\xFF\xFE", L"http://b/", "\xFF\xFE" + Utf16(L"\r\nhttp://b/")},
        {"\xEF\xBB\xBFhttp://a/", kWideUrl + L"\U0001F600",
         "\xEF\xBB\xBFhttp://a/\r\nhttp://\xE4\xBE\x8B\xE3\x81\x88.jp/\xC3\xBC\xF0\x9F\x98\x80"},
    };
    for (const auto& test : cases) {
        Write(test.before);
        ULONGLONG identity = FileIndex();
        EXPECT_TRUE(AppendTextLine(path_, test.text));
        EXPECT_EQ(Bytes(path_), test.after);
        EXPECT_EQ(FileIndex(), identity) << "an append must not replace the file";
    }

    Write("\xFE\xFF");
    EXPECT_FALSE(AppendTextLine(path_, L"http://a/"));
    EXPECT_EQ(Bytes(path_), "\xFE\xFF");
}

TEST_F(TextFile, AppendCreatesSingleByteFilesUnlessTheTextNeedsMore) {
    ASSERT_TRUE(AppendTextLine(path_, L"http://a/\u00E9"));
    ASSERT_TRUE(AppendTextLine(path_, L"http://b/"));
    EXPECT_EQ(Bytes(path_), "\r\nhttp://a/\xE9\r\nhttp://b/");

    const std::wstring missing = folder_ + L"new.txt";
    ASSERT_TRUE(AppendTextLine(missing, kWideUrl));
    EXPECT_EQ(Bytes(missing), "\xFF\xFE" + Utf16(L"\r\n" + kWideUrl));
    Write("");
    ASSERT_TRUE(AppendTextLine(path_, kWideUrl));
    EXPECT_EQ(Bytes(path_), "\xFF\xFE" + Utf16(L"\r\n" + kWideUrl));
}

TEST_F(TextFile, WideAppendToSingleByteFileConvertsItKeepingEveryCharacter) {
    // Every byte survives as the character of the same value, a lone CR included.
    Write("\r\nhttp://a/\r\nnote \xE9\rx\r\nhttp://b/");
    ASSERT_TRUE(AppendTextLine(path_, kWideUrl));
    EXPECT_EQ(Bytes(path_),
              "\xFF\xFE" + Utf16(L"\r\nhttp://a/\r\nnote \u00E9\rx\r\nhttp://b/\r\n" + kWideUrl));
    EXPECT_EQ(FileNames(), std::vector<std::wstring>{L"urls.txt"});

    // From now on the file is UTF-16LE, also for narrow text.
    ASSERT_TRUE(AppendTextLine(path_, L"http://c/"));
    std::vector<TextLine> lines;
    ASSERT_TRUE(ReadTextFile(path_, kUrlFilePieceChars, lines));
    EXPECT_EQ(Pieces(lines),
              L"\n|http://a/\n|note \u00E9\rx\n|http://b/\n|" + kWideUrl + L"\n|http://c/");
}

TEST_F(TextFile, RewriteWritesUtf16LeWithTheLastLineFeedAsAsked) {
    const struct {
        std::vector<std::wstring> lines;
        bool lastLineHasLineFeed;
        std::wstring written;  // after the mark
    } cases[] = {
        {{}, true, L""},
        {{L""}, false, L""},
        {{L""}, true, L"\r\n"},
        {{L"a", L"", L"b"}, true, L"a\r\n\r\nb\r\n"},
        {{L"a", L"", L"b"}, false, L"a\r\n\r\nb"},
        {{L"cr\r", L"\u4F8B\U0001F600"}, false, L"cr\r\r\n\u4F8B\U0001F600"},
    };
    for (const auto& test : cases) {
        Write("old content that is longer than any of the new ones");
        ASSERT_TRUE(RewriteTextFileUtf16(path_, test.lines, test.lastLineHasLineFeed));
        EXPECT_EQ(Bytes(path_), "\xFF\xFE" + Utf16(test.written));
    }
    EXPECT_EQ(EncodeUtf16LeText(L"a\nb\n"), "\xFF\xFE" + Utf16(L"a\r\nb\r\n"));
}

TEST_F(TextFile, ReplaceLeavesOnlyTheNewFileOrOnlyTheOldOne) {
    Write("old and longer");
    ASSERT_TRUE(ReplaceFileAtomically(path_, "new"));
    EXPECT_EQ(Bytes(path_), "new");
    EXPECT_EQ(FileNames(), std::vector<std::wstring>{L"urls.txt"});

    EXPECT_FALSE(ReplaceFileAtomically(folder_ + L"missing\\urls.txt", "new"));
    EXPECT_EQ(FileNames(), std::vector<std::wstring>{L"urls.txt"});

    // The target cannot be replaced while another handle holds it open.
    HANDLE held = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    EXPECT_FALSE(ReplaceFileAtomically(path_, "newer"));
    CloseHandle(held);
    EXPECT_EQ(Bytes(path_), "new");
    EXPECT_EQ(FileNames(), std::vector<std::wstring>{L"urls.txt"});

    // The temporary file is never named longer than the target, so any file that can be
    // named can be replaced; a one-character name too.
    for (size_t length = 1; length <= 200; ++length) {
        std::wstring target = folder_ + std::wstring(length, L'1');
        std::wstring temporary = TemporaryPathFor(target);
        EXPECT_LE(temporary.size(), target.size()) << length;
        EXPECT_NE(temporary, target) << length;
        EXPECT_EQ(temporary.substr(0, folder_.size()), folder_) << length;
        EXPECT_EQ(temporary.find(L'\\', folder_.size()), std::wstring::npos) << length;
    }
    std::wstring single = folder_ + L"1";
    ASSERT_TRUE(ReplaceFileAtomically(single, "one"));
    ASSERT_TRUE(ReplaceFileAtomically(single, "two"));
    EXPECT_EQ(Bytes(single), "two");

    // A file of several write pieces, the last one short, arrives byte for byte.
    std::string large(5 * 1000 * 1000 + 7, '\0');
    std::mt19937 random(7);
    for (char& byte : large) {
        byte = static_cast<char>(random());
    }
    ASSERT_TRUE(ReplaceFileAtomically(path_, large));
    EXPECT_TRUE(ReadBytes(path_) == large);
}

}  // namespace
