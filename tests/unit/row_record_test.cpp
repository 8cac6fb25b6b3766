// Row records: composing and rebuilding them, the stored total, and taking list file lines
// apart.
#include "list/row_record.h"

#include "base/text_file.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

// A rebuild as the list does it: the row's current texts and the old record's tail.
std::wstring Rebuild(const std::wstring& oldRecord, int state, const std::wstring& stateText,
                     const std::wstring& sizeText, const std::wstring& url) {
    return ComposeRowRecord(state, stateText, sizeText, url, RecordTail(oldRecord));
}

// A record as a list file line: without its line feed.
std::wstring LineOf(const std::wstring& record) {
    return record.substr(0, record.size() - 1);
}

struct StoreCase {
    const wchar_t* before;
    double bytes;
    const wchar_t* after;
};

struct ReadCase {
    const wchar_t* record;
    double bytes;
};

struct LineCase {
    const wchar_t* line;
    bool loads;
    int state;
    const wchar_t* url;
};

}  // namespace

TEST(RowRecord, ComposesFourFieldsAndTheTail) {
    EXPECT_EQ(ComposeRowRecord(0, L"スタンバイ", L" ？ Byte", L"http://example.com/a.zip", L""),
              L"0|スタンバイ| ？ Byte|http://example.com/a.zip\n");
    EXPECT_EQ(ComposeRowRecord(3, L"ダウンロード完了", L"  10 KB ", L"ftp://h/f", L"|10240"),
              L"3|ダウンロード完了|  10 KB |ftp://h/f|10240\n");
}

TEST(RowRecord, RebuildKeepsTheTotalWhateverTheNewTexts) {
    std::wstring record = ComposeRowRecord(2, L"DL中：...", L" ？ Byte", L"http://h/f", L"");
    EXPECT_EQ(RecordTail(record), L"");
    StoreTotalSizeInRecord(record, 2048);
    EXPECT_EQ(RecordTail(record), L"|2048");
    record = Rebuild(record, 4, L"DL中断：   1Byte/ 2048Byte(  0%)", L"2048Byte", L"http://h/f");
    record = Rebuild(record, 5, L"エラー", L" ？ Byte", L"http://h/g");
    EXPECT_EQ(record, L"5|エラー| ？ Byte|http://h/g|2048\n");
    // Everything after the fourth "|" belongs to the tail, further "|" included.
    EXPECT_EQ(RecordTail(L"0|a|b|http://h/|12|x\n"), L"|12|x");
}

TEST(RowRecord, StoreTotalSetsOrReplacesTheFifthFieldAndKeepsTheLineFeedLast) {
    const StoreCase cases[] = {
        {L"0|a|b|http://h/\n", 2048, L"0|a|b|http://h/|2048\n"},
        {L"0|a|b|http://h/|2048\n", 123.6, L"0|a|b|http://h/|124\n"},
        {L"0|a|b|http://h/|12|x\n", 7, L"0|a|b|http://h/|7\n"},
        {L"0|a|b|http://h/|\n", 5368709120.0, L"0|a|b|http://h/|5368709120\n"},
        {L"0|a|b|http://h/", 1, L"0|a|b|http://h/|1\n"},
    };
    for (const StoreCase& c : cases) {
        std::wstring record = c.before;
        StoreTotalSizeInRecord(record, c.bytes);
        EXPECT_EQ(record, c.after) << c.before;
    }
}

TEST(RowRecord, ReadTotalIsTheWholePartOfAPositiveFifthField) {
    const ReadCase cases[] = {
        {L"0|a|b|http://h/\n", -1},        {L"0|a|b|http://h/|0\n", -1},
        {L"0|a|b|http://h/|0.9\n", -1},    {L"0|a|b|http://h/|-5\n", -1},
        {L"0|a|b|http://h/|\n", -1},       {L"0|a|b|http://h/|abc\n", -1},
        {L"0|a|b|http://h/|2048\n", 2048}, {L"0|a|b|http://h/|2048.9\n", 2048},
        {L"0|a|b|http://h/|12|x\n", 12},   {L"0|a|b|http://h/|5368709120\n", 5368709120.0},
    };
    for (const ReadCase& c : cases) {
        EXPECT_EQ(ReadTotalSizeFromRecord(c.record), c.bytes) << c.record;
    }
}

// The validator follows the total after a space: the total still reads as before, a rebuild
// and a new total keep the validator, and an entry without a total gets 0, which reads as none.
TEST(RowRecord, TheValidatorRidesBehindTheTotal) {
    const std::wstring etag = L"\"5f3a|1400000\"";
    const std::wstring date = L"Tue, 08 Dec 2026 14:00:00 GMT";
    std::wstring record = L"4|DL中断：...| ？ Byte|http://h/f\n";
    StoreResumeValidatorInRecord(record, L"");
    EXPECT_EQ(record, L"4|DL中断：...| ？ Byte|http://h/f\n");
    StoreResumeValidatorInRecord(record, etag);
    EXPECT_EQ(RecordTail(record), L"|0 " + etag);
    EXPECT_EQ(ReadTotalSizeFromRecord(record), -1);
    EXPECT_EQ(ReadResumeValidatorFromRecord(record), etag);

    StoreTotalSizeInRecord(record, 20971520);
    record = Rebuild(record, 3, L"ダウンロード完了", L"  20 MB ", L"http://h/f");
    EXPECT_EQ(record, L"3|ダウンロード完了|  20 MB |http://h/f|20971520 " + etag + L"\n");
    EXPECT_EQ(ReadTotalSizeFromRecord(record), 20971520);

    StoreResumeValidatorInRecord(record, date);
    EXPECT_EQ(ReadResumeValidatorFromRecord(record), date);
    EXPECT_EQ(ReadTotalSizeFromRecord(record), 20971520);
    StoreResumeValidatorInRecord(record, L"");
    EXPECT_EQ(RecordTail(record), L"|20971520");
    EXPECT_EQ(ReadResumeValidatorFromRecord(L"0|a|b|http://h/|12|x\n"), L"");
}

TEST(RowRecord, UrlWithBarsSurvivesSaveLoadAndRebuildsWithoutGrowing) {
    const std::wstring url = L"http://h/a|b?q=1|2|3|4";
    std::wstring record = ComposeRowRecord(0, L"スタンバイ", L" ？ Byte", url, L"");
    EXPECT_EQ(RecordTail(record), L"");
    EXPECT_EQ(ReadTotalSizeFromRecord(record), -1);

    StoreTotalSizeInRecord(record, 4096);
    const std::wstring stored = record;
    for (int rebuild = 0; rebuild < 3; ++rebuild) {
        record = Rebuild(record, 0, L"スタンバイ", L" ？ Byte", url);
    }
    EXPECT_EQ(record, stored);
    EXPECT_EQ(ReadTotalSizeFromRecord(record), 4096);

    ListLine loaded{};
    ASSERT_TRUE(ParseListLine(LineOf(record), loaded));
    EXPECT_EQ(loaded.url, url);
    EXPECT_EQ(loaded.stateText, L"スタンバイ");
    EXPECT_EQ(loaded.sizeText, L" ？ Byte");
}

TEST(RowRecord, UrlRecordFormReplacesEachBarBothWays) {
    const std::wstring unitSeparator(1, L'\x1F');
    EXPECT_EQ(UrlToRecordForm(L"http://h/a|b||c"),
              L"http://h/a" + unitSeparator + L"b" + unitSeparator + unitSeparator + L"c");
    EXPECT_EQ(UrlFromRecordForm(UrlToRecordForm(L"http://h/a|b||c")), L"http://h/a|b||c");
    EXPECT_EQ(UrlToRecordForm(L"http://h/plain"), L"http://h/plain");
}

TEST(RowRecordListLine, LoadsOrSkipsByStateBarsAndUrl) {
    const LineCase cases[] = {
        {L"0|スタンバイ| ？ Byte|http://h/f", true, 0, L"http://h/f"},
        {L"5|エラー| ？ Byte|ftp://h/f", true, 5, L"ftp://h/f"},
        {L"6|a|b|http://h/f", false, 0, L""},
        {L"7|a|b|http://h/f", false, 0, L""},
        {L"-1|a|b|http://h/f", false, 0, L""},
        {L"4294967299|a|b|http://h/f", false, 0, L""},
        {L"03|a|b|http://h/f", true, 3, L"http://h/f"},
        {L" 2|a|b|http://h/f", true, 2, L"http://h/f"},
        {L"+4|a|b|http://h/f", true, 4, L"http://h/f"},
        {L"3abc|a|b|http://h/f", true, 3, L"http://h/f"},
        {L"|a|b|http://h/f", true, 0, L"http://h/f"},
        // Fewer than three "|".
        {L"http://h/f", false, 0, L""},
        {L"0|a|http://h/f", false, 0, L""},
        // The URL ends at a fourth "|"; the rest is the total, further "|" included.
        {L"3|a|b|http://h/f|2048", true, 3, L"http://h/f"},
        {L"3|a|b|http://h/f|12|x", true, 3, L"http://h/f"},
        // Old lists wrote a URL's "|" as it was: it still ends the URL there.
        {L"0|a|b|http://h/a|b", true, 0, L"http://h/a"},
        {L"0|a|b|not a url", false, 0, L""},
        {L"0|a|b|", false, 0, L""},
    };
    for (const LineCase& c : cases) {
        ListLine line{};
        ASSERT_EQ(ParseListLine(c.line, line), c.loads) << c.line;
        if (c.loads) {
            EXPECT_EQ(line.state, c.state) << c.line;
            EXPECT_EQ(line.url, c.url) << c.line;
        }
    }
}

TEST(RowRecordListLine, SplitsTheTextsAndKeepsTheLineAsTheRecord) {
    const std::wstring text = L"3|ダウンロード完了|  10 KB |http://h/f|10240";
    ListLine line{};
    ASSERT_TRUE(ParseListLine(text, line));
    EXPECT_EQ(line.stateText, L"ダウンロード完了");
    EXPECT_EQ(line.sizeText, L"  10 KB ");
    EXPECT_EQ(ReadTotalSizeFromRecord(text + L"\n"), 10240);
    // A rebuild after loading writes the state as the list holds it and keeps the total.
    EXPECT_EQ(Rebuild(L"03|a|b|http://h/f|10240\n", 3, L"a", L"b", L"http://h/f"),
              L"3|a|b|http://h/f|10240\n");
}

TEST(RowRecordListLine, EachPieceIsCutAfter1023Characters) {
    const std::wstring longText(1500, L'x');
    const std::wstring longUrl = L"http://h/" + std::wstring(2000, L'a');
    ListLine line{};
    ASSERT_TRUE(ParseListLine(L"1|" + longText + L"|" + longText + L"|" + longUrl, line));
    EXPECT_EQ(line.stateText, longText.substr(0, 1023));
    EXPECT_EQ(line.sizeText, longText.substr(0, 1023));
    EXPECT_EQ(line.url, longUrl.substr(0, 1023));

    const std::wstring exact(1023, L'y');
    ASSERT_TRUE(ParseListLine(L"1|" + exact + L"|b|http://h/f", line));
    EXPECT_EQ(line.stateText, exact);
}

// A list file that this program wrote with validators behind the totals still loads row for
// row by the rules that programs without validators read it with: the URL ends at the fourth
// "|", and the total is the number at the start of the fifth field.
TEST(RowRecordListLine, AListFileWithValidatorsLoadsByTheOlderRules) {
    struct Row {
        int state;
        const wchar_t* url;
        double total;
        const wchar_t* validator;
    };
    const Row expected[] = {
        {3, L"http://127.0.0.1:36507/plain/part0.bin", 400000, L""},
        {3, L"http://127.0.0.1:36507/noranges/part2.bin", 400000, L""},
        {3, L"http://127.0.0.1:36507/etag,noranges/part7.bin", 400000,
         L"\"18ecf827830c0000-61a80\""},
        {3, L"http://127.0.0.1:36507/lastmod/part8.bin", 400000, L"Tue, 01 Dec 2026 00:00:00 GMT"},
        {3, L"http://127.0.0.1:36507/weaketag,lastmod/part10.bin", 400000,
         L"Tue, 01 Dec 2026 00:00:00 GMT"},
        {4, L"http://127.0.0.1:33527/same2.bin", 20971520, L"\"6b181bd6-1400000\""},
        {4, L"http://127.0.0.1:33527/changed2.bin", 20971520, L"\"6b181bd6-1400000\""},
    };
    std::vector<TextLine> lines;
    // The list file's lines are read in pieces of at most 2047 characters.
    ASSERT_TRUE(ReadTextFile(
        L"Z:" VELMORA_SOURCE_DIR "/tests/unit/data/list_file_with_validators.txt", 2047, lines));
    ASSERT_EQ(lines.size(), std::size(expected));
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::wstring& line = lines[i].text;
        SCOPED_TRACE(line);
        ListLine row{};
        ASSERT_TRUE(ParseListLine(line, row));
        EXPECT_EQ(row.state, expected[i].state);
        EXPECT_EQ(row.url, expected[i].url);
        // As the older loader reads the fifth field: a number up to the first other character.
        const wchar_t* fifth = std::wcschr(line.c_str() + line.find(L".bin|"), L'|') + 1;
        EXPECT_EQ(std::wcstod(fifth, nullptr), expected[i].total);
        EXPECT_EQ(ReadTotalSizeFromRecord(line + L"\n"), expected[i].total);
        EXPECT_EQ(ReadResumeValidatorFromRecord(line + L"\n"), expected[i].validator);
        // And this program still writes such lines so: the sample is what it writes today.
        std::wstring record =
            ComposeRowRecord(row.state, row.stateText, row.sizeText, row.url, L"");
        StoreResumeValidatorInRecord(record, expected[i].validator);
        StoreTotalSizeInRecord(record, expected[i].total);
        EXPECT_EQ(record, line + L"\n");
    }
}
