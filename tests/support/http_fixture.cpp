#include "tests/support/http_fixture.h"

#include "tests/support/test_files.h"

#include <windows.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

// --- the request log: one JSON object a line, written by the server with ASCII escapes ---

class JsonLine {
public:
    explicit JsonLine(std::string_view text) : text_(text) {}

    bool ReadRequest(RecordedRequest& request) {
        if (!Take('{')) {
            return false;
        }
        if (Take('}')) {
            return true;
        }
        do {
            std::string key;
            if (!String(key) || !Take(':')) {
                return false;
            }
            bool ok = key == "method"    ? String(request.method)
                      : key == "path"    ? String(request.path)
                      : key == "headers" ? Headers(request.headers)
                      : key == "time"    ? Number(request.time)
                                         : SkipValue();
            if (!ok) {
                return false;
            }
        } while (Take(','));
        return Take('}');
    }

private:
    void SkipSpace() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\r' || text_[pos_] == '\n')) {
            ++pos_;
        }
    }

    bool Take(char c) {
        SkipSpace();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }

    // Header bytes reach the log as latin-1 characters, so every \u escape is one byte.
    bool String(std::string& out) {
        if (!Take('"')) {
            return false;
        }
        out.clear();
        while (pos_ < text_.size()) {
            char c = text_[pos_++];
            if (c == '"') {
                return true;
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size()) {
                return false;
            }
            char escaped = text_[pos_++];
            switch (escaped) {
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    unsigned code = 0;
                    for (int digit = 0; digit < 4; ++digit) {
                        if (pos_ >= text_.size() ||
                            !isxdigit(static_cast<unsigned char>(text_[pos_]))) {
                            return false;
                        }
                        char h = text_[pos_++];
                        code = code * 16 + (h <= '9' ? h - '0' : (h | 0x20) - 'a' + 10);
                    }
                    out += code <= 0xFF ? static_cast<char>(code) : '?';
                    break;
                }
                default:
                    out += escaped;
                    break;
            }
        }
        return false;
    }

    bool Number(double& value) {
        SkipSpace();
        std::string number;
        while (pos_ < text_.size() && std::strchr("0123456789.eE+-", text_[pos_]) != nullptr) {
            number += text_[pos_++];
        }
        char* end = nullptr;
        value = std::strtod(number.c_str(), &end);
        return !number.empty() && *end == '\0';
    }

    bool Headers(std::vector<std::pair<std::string, std::string>>& headers) {
        if (!Take('[')) {
            return false;
        }
        if (Take(']')) {
            return true;
        }
        do {
            std::pair<std::string, std::string> header;
            if (!Take('[') || !String(header.first) || !Take(',') || !String(header.second) ||
                !Take(']')) {
                return false;
            }
            headers.push_back(std::move(header));
        } while (Take(','));
        return Take(']');
    }

    bool SkipValue() {
        SkipSpace();
        if (pos_ >= text_.size()) {
            return false;
        }
        char c = text_[pos_];
        if (c == '"') {
            std::string ignored;
            return String(ignored);
        }
        if (c == '[' || c == '{') {
            char close = c == '[' ? ']' : '}';
            ++pos_;
            if (Take(close)) {
                return true;
            }
            do {
                if (c == '{') {
                    std::string key;
                    if (!String(key) || !Take(':')) {
                        return false;
                    }
                }
                if (!SkipValue()) {
                    return false;
                }
            } while (Take(','));
            return Take(close);
        }
        // Numbers, true, false and null.
        size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != '}' &&
               text_[pos_] != ']' && text_[pos_] != ' ') {
            ++pos_;
        }
        return pos_ > start;
    }

    std::string_view text_;
    size_t pos_ = 0;
};

bool SameLetters(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<std::string> RecordedRequest::Header(std::string_view name) const {
    for (const auto& [headerName, value] : headers) {
        if (SameLetters(headerName, name)) {
            return value;
        }
    }
    return std::nullopt;
}

bool HttpFixture::Start(const std::wstring& rootFolder) {
    return server_.Start("http_fixture.py", rootFolder, L"requests.jsonl", {},
                         "HTTP fixture server");
}

std::wstring HttpFixture::Url(std::wstring_view options, std::wstring_view name) const {
    std::wstring url = L"http://127.0.0.1:" + std::to_wstring(Port()) + L"/";
    url += options.empty() ? std::wstring_view(L"plain") : options;
    url += L"/";
    url += name;
    return url;
}

std::vector<RecordedRequest> HttpFixture::Requests() const {
    std::vector<RecordedRequest> requests;
    std::wstring path = server_.LogPath();
    if (path.empty()) {
        return requests;
    }
    std::string log = ReadBytes(path);
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) {
            break;  // a line still being written
        }
        RecordedRequest request;
        if (JsonLine(std::string_view(log).substr(start, end - start)).ReadRequest(request)) {
            requests.push_back(std::move(request));
        }
        start = end + 1;
    }
    return requests;
}
