// The floor under the program's downloads: a bare loop of worker threads over the same system
// library, opening every URL the way the program does (a session per transfer, the request
// made step by step, always from the server, no cache writes, cookies on) and writing each
// answer to a file named after the URL's last segment. Run by scripts/bench-downloads.sh
// beside the program: whatever the program costs above this loop is its own.
//
// Usage: wininet_loop.exe <URL list, one per line> <folder> [threads]
// Prints "wall=<seconds>" for the whole list, from the first request to the last file closed.

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kOpenFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
constexpr DWORD kReadBytes = 64 * 1024;

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());  // the list holds ASCII URLs
}

bool Fetch(const std::wstring& url, const std::wstring& folder, std::vector<char>& buffer) {
    URL_COMPONENTSW parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;
    parts.dwUrlPathLength = 1;
    if (!InternetCrackUrlW(url.c_str(), 0, 0, &parts)) {
        return false;
    }
    std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    std::wstring name = path.substr(path.find_last_of(L'/') + 1);

    HINTERNET session =
        InternetOpenW(L"Velmora Downloader", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET connection = session != nullptr
                               ? InternetConnectW(session, host.c_str(), parts.nPort, nullptr,
                                                  nullptr, INTERNET_SERVICE_HTTP, 0, 0)
                               : nullptr;
    HINTERNET request = connection != nullptr
                            ? HttpOpenRequestW(connection, L"GET", path.c_str(), nullptr, nullptr,
                                               nullptr, kOpenFlags, 0)
                            : nullptr;
    bool ok = request != nullptr && HttpSendRequestW(request, nullptr, 0, nullptr, 0);
    if (ok) {
        HANDLE file = CreateFileW((folder + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ok = file != INVALID_HANDLE_VALUE;
        DWORD read = 0;
        while (ok && InternetReadFile(request, buffer.data(), kReadBytes, &read) && read != 0) {
            DWORD written = 0;
            ok = WriteFile(file, buffer.data(), read, &written, nullptr) && written == read;
        }
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
        }
    }
    for (HINTERNET handle : {request, connection, session}) {
        if (handle != nullptr) {
            InternetCloseHandle(handle);
        }
    }
    return ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: wininet_loop <URL list> <folder> [threads]\n");
        return 2;
    }
    std::vector<std::wstring> urls;
    std::ifstream list(argv[1]);
    for (std::string line; std::getline(list, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            urls.push_back(Widen(line));
        }
    }
    std::wstring folder = argv[2];
    int threads = argc > 3 ? _wtoi(argv[3]) : 5;
    DWORD connections = static_cast<DWORD>(std::max(threads, 4));
    InternetSetOptionW(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &connections,
                       sizeof connections);

    std::atomic<size_t> next{0};
    std::atomic<int> failures{0};
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    std::vector<std::thread> workers;
    for (int index = 0; index < threads; ++index) {
        workers.emplace_back([&] {
            std::vector<char> buffer(kReadBytes);
            for (size_t item; (item = next++) < urls.size();) {
                if (!Fetch(urls[item], folder, buffer)) {
                    ++failures;
                }
            }
        });
    }
    for (auto& worker : workers) {
        worker.join();
    }
    QueryPerformanceCounter(&end);
    std::printf("wall=%.3f failures=%d\n",
                static_cast<double>(end.QuadPart - start.QuadPart) / frequency.QuadPart,
                failures.load());
    return failures == 0 ? 0 : 1;
}
