// Save file names from URLs and list positions, the names that are refused, and the folder
// they are joined with.
#include "engine/save_name.h"

#include <shlobj.h>

#include "tests/support/test_files.h"

#include <gtest/gtest.h>

namespace {

struct NameCase {
    const wchar_t* url;
    const wchar_t* name;
};

void ExpectNames(std::wstring (*makeName)(const std::wstring&), const NameCase* begin,
                 const NameCase* end) {
    for (const NameCase* c = begin; c != end; ++c) {
        EXPECT_EQ(makeName(c->url), c->name) << c->url;
    }
}

std::wstring Desktop() {
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

}  // namespace

TEST(SaveNameRules, FileNameIsTheLastSegmentOrTheHostAndFoldersOfAFolderUrl) {
    const NameCase cases[] = {
        {L"http://host/dir/f.zip", L"f.zip"},
        {L"http://host/cgi/get.cgi?id=1&x=?", L"get.cgi^id=1&x=^"},
        {L"http://host/get?path=a/b.zip", L"b.zip"},  // a "/" of the query still counts
        {L"no-slash?q", L"no-slash^q"},
        {L"http://host/", L"host"},
        {L"http://host/a/b/", L"host)a)b"},
        {L"http://host/a?x=1/", L"host)a^x=1"},
        {L"http://host:8080/", L"8080"},  // the walk stops at the port's ":"
        {L"http://host:8080/pub/", L"8080)pub"},
        {L"http://host//", L"host)"},
        {L"host/a/", L"host)a"},  // no ":" at all: the whole converted text
    };
    ExpectNames(FileNameFromUrl, std::begin(cases), std::end(cases));
}

TEST(SaveNameRules, WholeUrlNameKeepsTheSchemeAndDropsOnlyATrailingSlash) {
    const NameCase cases[] = {
        {L"http://host/dir/f.zip", L"http}host)dir)f.zip"},
        {L"http://host/", L"http}host"},
        {L"http://host/a//", L"http}host)a)"},
        {L"http://host:8080/a?b=c:d", L"http}host}8080)a^b=c}d"},
        {L"ftp:/x", L"ftp})x"},  // only "://" loses its slashes
    };
    ExpectNames(WholeUrlName, std::begin(cases), std::end(cases));
}

TEST(SaveNameRules, ExtensionComesFromTheLastSegmentWithoutTheQuery) {
    const NameCase cases[] = {
        {L"http://host/f.zip", L".zip"},
        {L"http://host/f.tar.gz", L".gz"},
        {L"http://host/f.zip?x=1?y", L".zip"},
        {L"http://host/readme", L""},
        {L"http://host.example/readme", L""},
        {L"http://host/dir.d/", L""},
        {L"http://host/get?file=a.zip", L".zip"},  // a dot only in the query
        {L"http://host/f.txt?file=a.zip?v", L".zip"},
        {L"a.zip", L".zip"},
        {L".zip", L""},  // a dot at the very start does not count
    };
    ExpectNames(UrlExtension, std::begin(cases), std::end(cases));
}

TEST(SaveNameRules, EntryNumberIsPaddedToTheDigitsOfTheItemCount) {
    struct Case {
        int index;
        int count;
        const wchar_t* text;
    };
    const Case cases[] = {
        {0, 150, L"001"}, {149, 150, L"150"},        {0, 10, L"01"}, {9, 10, L"10"}, {8, 9, L"9"},
        {0, 0, L"1"},     {41, 1000000, L"0000042"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EntryNumberText(c.index, c.count), c.text) << c.index << " of " << c.count;
    }
}

TEST(SaveNameRules, EachRuleComposesItsParts) {
    struct Case {
        int rule;
        const wchar_t* url;
        const wchar_t* name;
    };
    const wchar_t* file = L"http://host/dir/f.zip";
    const Case cases[] = {
        {kNameFromFile, file, L"f.zip"},
        {kNameFromWholeUrl, file, L"http}host)dir)f.zip"},
        {kNameNumber, file, L"05.zip"},
        {kNameNumber, L"http://host/readme", L"05"},
        {kNameNumberFile, file, L"05_f.zip"},
        {kNameNumberWholeUrl, file, L"05_http}host)dir)f.zip"},
        {5, file, L"f.zip"},  // any other rule names by the file name
        {-1, file, L"f.zip"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SaveFileName(c.rule, c.url, 4, 10), c.name) << c.rule << " " << c.url;
    }
}

TEST(SaveNameSafety, NamesThatLeaveTheFolderOrNameADeviceAreRefused) {
    const wchar_t* refused[] = {
        L"",         L".",        L"..",   L"...",     L". .",       L"a\\b",       L"a/b",
        L"f:stream", L"CON",      L"con",  L"Con.txt", L"NUL .txt",  L"nul.tar.gz", L"PRN",
        L"COM1",     L"com9.log", L"LPT1", L"lpt9",    L"COM\u00B9",
    };
    for (const wchar_t* name : refused) {
        EXPECT_FALSE(IsSafeSaveName(name)) << name;
    }
    const wchar_t* accepted[] = {L"f.zip",
                                 L".htaccess",
                                 L"a..b",
                                 L"CONSOLE",
                                 L"con_1",
                                 L"1_con",
                                 L"COM0",
                                 L"COM10",
                                 L"LPT",
                                 L"a|b*\"",
                                 L"\u30D5\u30A1\u30A4\u30EB.zip"};
    for (const wchar_t* name : accepted) {
        EXPECT_TRUE(IsSafeSaveName(name)) << name;
    }
}

TEST(SaveNameSafety, JoinedPathMustBeSafeAndFitTheLimit) {
    std::wstring path = L"stale";
    EXPECT_TRUE(JoinSavePath(L"C:\\dl", L"f.zip", path));
    EXPECT_EQ(path, L"C:\\dl\\f.zip");
    EXPECT_TRUE(JoinSavePath(L"C:\\", L"f.zip", path));
    EXPECT_EQ(path, L"C:\\f.zip");

    EXPECT_FALSE(JoinSavePath(L"C:\\dl", L"..", path));
    EXPECT_EQ(path, L"");
    EXPECT_FALSE(JoinSavePath(L"", L"f.zip", path));

    const std::wstring folder = L"C:\\" + std::wstring(1000, L'd');
    const size_t room = kMaxSavePathChars - folder.size() - 1;
    EXPECT_TRUE(JoinSavePath(folder, std::wstring(room, L'n'), path));
    EXPECT_EQ(path.size(), kMaxSavePathChars);
    EXPECT_FALSE(JoinSavePath(folder, std::wstring(room + 1, L'n'), path));
    EXPECT_EQ(path, L"");
}

TEST(SaveNameFolder, ExistingFolderIsUsedWithOrWithoutBackslashElseTheDesktop) {
    const std::wstring folder = MakeFreshFolder(L"vlmr_names_");  // ends with a backslash
    const std::wstring bare = folder.substr(0, folder.size() - 1);
    const std::wstring desktop = Desktop();
    ASSERT_FALSE(desktop.empty());
    ASSERT_TRUE(WriteBytes(folder + L"file", "x"));

    EXPECT_EQ(SaveFolderOrDesktop(folder), bare);
    EXPECT_EQ(SaveFolderOrDesktop(bare), bare);
    EXPECT_EQ(SaveFolderOrDesktop(folder + L"missing"), desktop);
    EXPECT_EQ(SaveFolderOrDesktop(folder + L"file"), desktop);  // a file is no folder
    EXPECT_EQ(SaveFolderOrDesktop(L""), desktop);
    RemoveFolder(folder);
    EXPECT_EQ(SaveFolderOrDesktop(folder), desktop);  // removed while in use
}
