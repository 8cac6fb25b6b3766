// Load rules of the settings file and the per-user file names.
#include "app/settings.h"

#include <gtest/gtest.h>

TEST(SettingsLoadRules, ConnectionCountIsAtLeastOneWithNoUpperLimit) {
    EXPECT_EQ(ConnectionCountFromKey(0), 1);
    EXPECT_EQ(ConnectionCountFromKey(-7), 1);
    EXPECT_EQ(ConnectionCountFromKey(1), 1);
    EXPECT_EQ(ConnectionCountFromKey(100), 100);
    EXPECT_EQ(ConnectionCountFromKey(32767), 32767);
    EXPECT_EQ(ConnectionCountFromKey(40000), 32767);
    EXPECT_EQ(ConnectionCountFromKey(20000000), 32767);
}

TEST(SettingsLoadRules, BufferSizeIsKilobytesTimes1024AndNeverEmpty) {
    EXPECT_EQ(BufferBytesFromKey(256), 262144);
    EXPECT_EQ(BufferBytesFromKey(64), 65536);
    EXPECT_EQ(BufferBytesFromKey(1), 1024);
    EXPECT_EQ(BufferBytesFromKey(0), 1024);
    EXPECT_EQ(BufferBytesFromKey(-5), 1024);
    EXPECT_EQ(BufferBytesFromKey(32767), 32767 * 1024);
    // Larger than the options dialog offers (and, from 2097152 KB, larger than 32 bits can
    // count in bytes): held to the largest value the dialog offers.
    EXPECT_EQ(BufferBytesFromKey(32768), 32767 * 1024);
    EXPECT_EQ(BufferBytesFromKey(2097152), 32767 * 1024);
    EXPECT_EQ(BufferBytesFromKey(2147483647), 32767 * 1024);
}

TEST(SettingsLoadRules, NamingRuleOutsideZeroToFourIsZero) {
    for (int rule = 0; rule <= 4; ++rule) {
        EXPECT_EQ(NamingRuleFromKey(rule), rule);
    }
    EXPECT_EQ(NamingRuleFromKey(5), 0);
    EXPECT_EQ(NamingRuleFromKey(-1), 0);
}

TEST(SettingsLoadRules, FlagsAreReducedToZeroOrOne) {
    EXPECT_EQ(FlagFromKey(0), 0);
    EXPECT_EQ(FlagFromKey(1), 1);
    EXPECT_EQ(FlagFromKey(7), 1);
    EXPECT_EQ(FlagFromKey(-1), 1);
    EXPECT_EQ(FlagFromText(L""), 0);
    EXPECT_EQ(FlagFromText(L"0"), 0);
    EXPECT_EQ(FlagFromText(L"1"), 1);
    EXPECT_EQ(FlagFromText(L"7"), 1);
    EXPECT_EQ(FlagFromText(L"abc"), 0);
    EXPECT_EQ(FlagFromText(L"-2"), 1);
}

TEST(PerUserFiles, NamesBeginWithTheUserNameDirectlyAfterTheFolder) {
    EXPECT_EQ(PerUserFilePath(L"C:\\Tools\\", L"user1", L".ini"),
              L"C:\\Tools\\user1 Velmora Downloader.ini");
    EXPECT_EQ(PerUserFilePath(L"C:\\Tools\\", L"user1", L" Lv.txt"),
              L"C:\\Tools\\user1 Velmora Downloader Lv.txt");
    EXPECT_EQ(PerUserFilePath(L"C:\\Tools\\", L"user2", L" Tb.txt"),
              L"C:\\Tools\\user2 Velmora Downloader Tb.txt");
}

TEST(PerUserFiles, FolderOfPathKeepsDriveAndDirectoryWithTrailingBackslash) {
    EXPECT_EQ(FolderOfPath(L"C:\\Tools\\list.txt"), L"C:\\Tools\\");
    EXPECT_EQ(FolderOfPath(L"C:\\Tools\\sub\\"), L"C:\\Tools\\sub\\");
    EXPECT_EQ(FolderOfPath(L"C:\\list.txt"), L"C:\\");
    EXPECT_EQ(FolderOfPath(L"C:list.txt"), L"C:");
    EXPECT_EQ(FolderOfPath(L"\\\\server\\share\\a.txt"), L"\\\\server\\share\\");
    EXPECT_EQ(FolderOfPath(L"list.txt"), L"");
    EXPECT_EQ(FolderOfPath(L""), L"");
}
