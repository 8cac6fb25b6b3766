// A row's record: the one line of text that is the row's saved form in the list file.
//
//   state|state text|size text|URL[|total bytes[ validator]]\n
//
// The state is the EntryState value in decimal; the total, written only once a transfer has
// learnt it, is a whole number of bytes. The speed and elapsed time are not kept.
//
// The validator is what the server said identifies the version of the file the save file
// holds (its strong ETag or its Last-Modified date); a resume sends it back so that a file
// that changed on the server is never continued with the new version's bytes. It follows the
// total after one space, so a reader that takes the fifth field as a number still reads the
// total; an entry with a validator and no known total writes the total as 0, which reads as
// none.
//
// The format has no escape for "|". A URL may contain one, so in a record (and therefore in
// the list file) each "|" of the URL is written as the control character U+001F, which no URL
// holds in practice. The fourth "|" of a record is thus always the one before the total.
#pragma once

#include <string>

// The longest state text, size text or URL that a list file line can give (the loader copies
// each piece into room for 1024 characters).
constexpr size_t kMaxListFieldChars = 1023;

std::wstring UrlToRecordForm(const std::wstring& url);
std::wstring UrlFromRecordForm(const std::wstring& recordUrl);

// "state|stateText|sizeText|URL" + tail + "\n", the state an entry state (0-5), the URL in its
// record form. The tail is empty or "|" followed by the total, as RecordTail gives it.
std::wstring ComposeRowRecord(int state, const std::wstring& stateText,
                              const std::wstring& sizeText, const std::wstring& url,
                              const std::wstring& tail);
// The same record appended to out, for a whole list put together in one piece of text.
void AppendRowRecord(std::wstring& out, int state, const std::wstring& stateText,
                     const std::wstring& sizeText, const std::wstring& url,
                     const std::wstring& tail);

// The text from the fourth "|" (included) up to the line feed: "|" and the total, or empty
// when the record has no total. A rebuilt record carries it over unchanged.
std::wstring RecordTail(const std::wstring& record);

// Sets or replaces the total: everything from the fourth "|" (or, without one, from the line
// feed) becomes "|<bytes as a whole number>\n", with the record's validator, if it has one,
// kept before the line feed.
void StoreTotalSizeInRecord(std::wstring& record, double bytes);
// The stored total rounded down, or -1 when the record has none or it is not above 0.
double ReadTotalSizeFromRecord(const std::wstring& record);

// Sets, replaces or (with an empty validator) removes the validator, keeping the total. A
// record without a fifth field gets the total 0 to stand before the validator.
void StoreResumeValidatorInRecord(std::wstring& record, const std::wstring& validator);
// The validator after the total, or empty when the record has none.
std::wstring ReadResumeValidatorFromRecord(const std::wstring& record);

// One line of the list file, as the loader takes it apart.
struct ListLine {
    int state;
    std::wstring stateText;
    std::wstring sizeText;
    std::wstring url;  // with its "|" restored
};

// Takes apart one list file line (without its line feed). False when the line is to be
// skipped: a state that is not 0 to 5, fewer than three "|", or a URL the shell does not
// take for one. Anything after a fourth "|" is the total and is not returned here; the row's
// record is the line itself.
bool ParseListLine(const std::wstring& line, ListLine& out);
