// URL files read into a UrlList, and the lines that stay when URLs are removed from a file.
#include "list/url_list.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

using Urls = std::vector<std::wstring>;

Urls AllOf(const UrlList& list) {
    Urls urls;
    for (size_t index = 0; index < list.size(); ++index) {
        urls.push_back(list[index]);
    }
    return urls;
}

// Each test writes its files to one new temporary file, deleted after the test.
class UrlListFile : public testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH];
        wchar_t name[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        ASSERT_NE(GetTempFileNameW(folder, L"vlm", 0, name), 0u);
        path_ = name;
    }
    void TearDown() override { DeleteFileW(path_.c_str()); }

    Urls Read(std::string_view bytes) {
        EXPECT_TRUE(ReplaceFileAtomically(path_, bytes));
        UrlList list;
        EXPECT_TRUE(ReadUrlFile(path_, list));
        return AllOf(list);
    }

    std::wstring path_;
};

TEST_F(UrlListFile, EveryEncodingGivesTheSameUrlsOnceEachInFileOrder) {
    const Urls expected = {L"http://example.com/a", L"ftp://example.com/\u00E4"};
    // UTF-16LE, UTF-8 and single-byte forms of the same five lines.
    std::string utf16 = "\xFF\xFE";
    for (wchar_t c : std::wstring(L"\r\nhttp://example.com/a\r\nnote\r\nhttp://example.com/a"
                                  L"\r\nftp://example.com/\u00E4")) {
        utf16 += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    }
    EXPECT_EQ(Read(utf16), expected);
    EXPECT_EQ(Read("\xEF\xBB\xBF\r\nhttp://example.com/a\r\nnote\r\nhttp://example.com/a\r\n"
                   "ftp://example.com/\xC3\xA4"),
              expected);
    EXPECT_EQ(Read("\r\nhttp://example.com/a\r\nnote\r\nhttp://example.com/a\r\n"
                   "ftp://example.com/\xE4"),
              expected);
}

TEST_F(UrlListFile, UrlsAreComparedExactlyAndLongOnesAreCut) {
    EXPECT_EQ(Read("http://a/x\r\nhttp://a/X\r\nhttp://a/x \r\nhttp://a/x\r\n"),
              (Urls{L"http://a/x", L"http://a/X", L"http://a/x "}));

    // The first line is cut after 1023 characters; its rest is no URL, and the second line
    // equals the cut one.
    std::string longUrl = "http://a/" + std::string(1500, 'p');
    std::string cutUrl = longUrl.substr(0, kUrlFilePieceChars);
    EXPECT_EQ(Read(longUrl + "\r\n" + cutUrl + "\r\n"),
              Urls{std::wstring(cutUrl.begin(), cutUrl.end())});
}

TEST_F(UrlListFile, UnreadableFilesFailWithAnEmptyList) {
    UrlList list;
    list.Add(L"http://left/over");
    ASSERT_TRUE(ReplaceFileAtomically(path_, std::string("\xFE\xFF\0h\0t\0t\0p\0:", 12)));
    EXPECT_FALSE(ReadUrlFile(path_, list));
    EXPECT_TRUE(list.empty());

    list.Add(L"http://left/over");
    EXPECT_FALSE(ReadUrlFile(path_ + L".missing", list));
    EXPECT_TRUE(list.empty());
}

TEST_F(UrlListFile, ReadsAHundredThousandUrls) {
    std::string bytes;
    for (int index = 0; index < 200000; ++index) {
        bytes += "\r\nhttp://example.com/file" + std::to_string(index % 100000);
    }
    ASSERT_TRUE(ReplaceFileAtomically(path_, bytes));
    UrlList list;
    ASSERT_TRUE(ReadUrlFile(path_, list));
    ASSERT_EQ(list.size(), 100000u);
    EXPECT_EQ(list[99999], L"http://example.com/file99999");
    EXPECT_TRUE(list.Contains(L"http://example.com/file0"));
}

TEST_F(UrlListFile, RemovingFromASingleByteFileLeavesAUtf16LeFileForLaterAppends) {
    ASSERT_TRUE(ReplaceFileAtomically(path_, "\r\nhttp://a/\r\nnote\r\nhttp://gone/"));
    std::vector<TextLine> lines;
    ASSERT_TRUE(ReadTextFile(path_, kUrlFilePieceChars, lines));
    UrlList removed;
    removed.Add(L"http://gone/");
    RemainingLines remaining = RemoveUrlLines(std::move(lines), removed);
    ASSERT_TRUE(RewriteTextFileUtf16(path_, remaining.lines, remaining.lastLineHasLineFeed));
    ASSERT_TRUE(AppendTextLine(path_, L"http://b/"));

    TextEncoding encoding = TextEncoding::kSingleByte;
    ASSERT_TRUE(ReadTextFile(path_, kUrlFilePieceChars, lines, &encoding));
    EXPECT_EQ(encoding, TextEncoding::kUtf16Le);
    EXPECT_EQ(lines.size(), 4u) << "no line break may come between note and the new URL";
    UrlList list;
    ASSERT_TRUE(ReadUrlFile(path_, list));
    EXPECT_EQ(AllOf(list), (Urls{L"http://a/", L"http://b/"}));
}

TEST(UrlListLines, OnlyLinesWithAUrlSchemeAreUrls) {
    for (const wchar_t* url : {L"http://example.com/", L"https://example.com/a?b=c",
                               L"ftp://example.com/pub/file.zip", L"http://\u4F8B\u3048.jp/"}) {
        EXPECT_TRUE(IsUrlLine(url)) << testing::PrintToString(std::wstring(url));
    }
    for (const wchar_t* line : {L"", L"note", L"example.com/file", L"C:\\files\\list.txt"}) {
        EXPECT_FALSE(IsUrlLine(line)) << testing::PrintToString(std::wstring(line));
    }
}

TEST(UrlListLines, KeepsFirstOccurrencesInOrderAlsoAfterAMove) {
    UrlList list;
    EXPECT_TRUE(list.Add(L"http://b/"));
    EXPECT_TRUE(list.Add(L"http://a/"));
    EXPECT_FALSE(list.Add(L"http://b/"));
    // Enough URLs to make the set regrow its table several times.
    for (int index = 0; index < 1000; ++index) {
        list.Add(L"http://c/" + std::to_wstring(index));
    }
    UrlList moved = std::move(list);
    ASSERT_EQ(moved.size(), 1002u);
    EXPECT_EQ((Urls{moved[0], moved[1], moved[1001]}),
              (Urls{L"http://b/", L"http://a/", L"http://c/999"}));
    EXPECT_TRUE(moved.Contains(L"http://c/500"));
    moved.clear();
    EXPECT_TRUE(moved.empty());
    EXPECT_FALSE(moved.Contains(L"http://a/"));
}

TEST(UrlListLines, RemovingDropsOnlyExactMatchesAndKeepsTheLastLineFeedRule) {
    UrlList removed;
    removed.Add(L"http://gone/");
    const struct {
        std::vector<TextLine> read;
        Urls kept;
        bool lastLineHasLineFeed;
    } cases[] = {
        {{}, {}, false},
        {{{L"", true},
          {L"http://gone/", true},
          {L"note", true},
          {L"http://kept/", true},
          {L"http://kept/", true},
          {L"http://GONE/", true},
          {L"http://gone/ ", true},
          {L"http://gone/", true},
          {L"", false}},
         {L"", L"note", L"http://kept/", L"http://kept/", L"http://GONE/", L"http://gone/ ", L""},
         false},
        {{{L"http://kept/", true}, {L"http://gone/", false}}, {L"http://kept/"}, false},
        {{{L"http://kept/", false}, {L"http://gone/", true}}, {L"http://kept/"}, true},
        {{{L"http://gone/", true}}, {}, true},
    };
    for (const auto& test : cases) {
        RemainingLines remaining = RemoveUrlLines(test.read, removed);
        EXPECT_EQ(remaining.lines, test.kept);
        EXPECT_EQ(remaining.lastLineHasLineFeed, test.lastLineHasLineFeed);
    }
}

}  // namespace
