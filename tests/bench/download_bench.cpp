// Times one download run of the built program: a fresh program folder whose list holds the
// URLs of a file, F5, and the wait for the completion notice. Prints the wall time from the
// command to the notice and the CPU time the program used in between, and, given the Unix
// process id of the wineserver (VELMORA_WINESERVER_PID), the server's CPU time too, since
// every file and window call of the program is served there.
//
// Under Wine the CPU times come from /proc (Wine maps / to Z:): Wine 8's GetProcessTimes of
// another process reports only a small part of what the process used. Elsewhere
// GetProcessTimes is used.
//
// Usage: download_bench <URL file> <save folder> [connections] [buffer KB]
// VELMORA_EXE names the program, as for the end-to-end tests.
#include "tests/e2e/program_driver.h"
#include "tests/support/test_files.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace {

constexpr UINT kDownload = 1005;
constexpr DWORD kRunTimeoutMs = 60 * 60 * 1000;
const wchar_t kIdleTitle[] = L"Velmora Downloader";

std::wstring Widen(const char* text) {
    std::wstring wide;
    for (const char* c = text; *c != '\0'; ++c) {
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    }
    return wide;
}

std::string Utf8(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

// One URL a line, each becoming a waiting entry; blank lines are skipped. A line that holds
// "|" is a list record already and goes into the list as it stands (a finished entry, say,
// to try a longer list with the same downloads).
std::vector<std::wstring> ReadRecords(const std::wstring& path) {
    std::string bytes = ReadBytes(path);
    std::vector<std::wstring> records;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.find('|') != std::string::npos) {
            records.push_back(Widen(line.c_str()));
        } else if (!line.empty()) {
            records.push_back(L"0|スタンバイ||" + Widen(line.c_str()));
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return records;
}

double Seconds(FILETIME time) {
    return double((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
}

// Asked while the process runs: Wine no longer knows the times of one that has ended.
double ProcessCpu(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        return -1;
    }
    return Seconds(user) + Seconds(kernel);
}

// User plus system time of a Unix process from /proc/<pid>/stat, or a negative number when
// it cannot be read.
double UnixProcessCpu(const std::wstring& pid) {
    std::string stat = ReadBytes(L"Z:\\proc\\" + pid + L"\\stat");
    // The command name in parentheses may hold spaces: count the fields after it.
    size_t paren = stat.rfind(')');
    if (paren == std::string::npos) {
        return -1;
    }
    // After it: state, ppid, pgrp, session, tty, tpgid, flags, four fault counts, then
    // utime and stime in clock ticks.
    unsigned long long ticks[2] = {};
    if (std::sscanf(stat.c_str() + paren + 1,
                    " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &ticks[0],
                    &ticks[1]) != 2) {
        return -1;
    }
    return double(ticks[0] + ticks[1]) / 100.0;  // USER_HZ on Linux
}

// The Unix process id of the Wine process running this program file: the first word of its
// command line is the file's Windows path. Empty when there is no /proc (not under Wine).
std::wstring UnixPidOf(const std::wstring& exe) {
    std::string wanted(exe.begin(), exe.end());
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(L"Z:\\proc\\*", &data);
    if (find == INVALID_HANDLE_VALUE) {
        return {};
    }
    std::wstring found;
    do {
        std::wstring name = data.cFileName;
        if (name.find_first_not_of(L"0123456789") != std::wstring::npos) {
            continue;
        }
        std::string commandLine = ReadBytes(L"Z:\\proc\\" + name + L"\\cmdline");
        if (_stricmp(commandLine.c_str(), wanted.c_str()) == 0) {
            found = name;
        }
    } while (found.empty() && FindNextFileW(find, &data));
    FindClose(find);
    return found;
}

// The program's CPU seconds so far, from /proc when its process was found there.
double ProgramCpu(HANDLE process, const std::wstring& unixPid) {
    return unixPid.empty() ? ProcessCpu(process) : UnixProcessCpu(unixPid);
}

double Now() {
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return double(counter.QuadPart) / double(frequency.QuadPart);
}

int Run(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: download_bench <URL file> <save folder> [connections] [buffer KB]\n");
        return 2;
    }
    std::vector<std::wstring> records = ReadRecords(Widen(argv[1]));
    std::wstring saveFolder = Widen(argv[2]);
    std::wstring connections = argc > 3 ? Widen(argv[3]) : L"5";
    const char* serverVariable = std::getenv("VELMORA_WINESERVER_PID");
    std::wstring serverPid = serverVariable != nullptr ? Widen(serverVariable) : L"";

    ProgramDriver program;
    // Empty logs that exist: the run starts without a question.
    const wchar_t* logKeys[] = {L"DL_LOG", L"CANCEL_LOG", L"ERR_LOG"};
    for (const wchar_t* key : logKeys) {
        std::wstring log = program.folder() + key + L".txt";
        WriteBytes(log, "");
        program.WriteSetting(L"TOOLBAR", key, log.c_str());
    }
    program.WriteSetting(L"TOOLBAR", L"DL_DIR", saveFolder.c_str());
    program.WriteSetting(L"OPTION", L"CONNECT_NUM", connections.c_str());
    if (argc > 4) {
        program.WriteSetting(L"OPTION", L"DL_BUF_SIZE", Widen(argv[4]).c_str());
    }
    program.WriteList(records);

    double started = Now();
    if (!program.StartAndWaitForWindow()) {
        std::fprintf(stderr, "the program's window did not appear\n");
        return 1;
    }
    double startup = Now() - started;

    std::wstring programPid = UnixPidOf(program.folder() + L"VelmoraDownloader.exe");
    double before = ProgramCpu(program.process(), programPid);
    double serverBefore = serverPid.empty() ? -1 : UnixProcessCpu(serverPid);
    double commanded = Now();
    program.PostCommand(kDownload);
    MessageBoxSeen notice =
        program.WaitForMessageBox(L"確認", GetProcessId(program.process()), kRunTimeoutMs);
    double wall = Now() - commanded;
    double cpu = ProgramCpu(program.process(), programPid) - before;
    double serverCpu = serverPid.empty() ? -1 : UnixProcessCpu(serverPid) - serverBefore;
    if (notice.box == nullptr || notice.text != L"ダウンロードが完了しました") {
        std::fprintf(stderr, "the run did not end with the completion notice\n");
        return 1;
    }
    program.Answer(notice, IDOK);
    program.WaitForTitle(kIdleTitle, 10000);

    // Waiting entries that the program itself counts as done ("3|...") in the list it saved.
    auto isDone = [](const std::wstring& record) { return record.rfind(L"3|", 0) == 0; };
    std::vector<std::wstring> saved = program.ReadList();
    size_t wanted = 0;
    size_t done = 0;
    for (size_t row = 0; row < records.size(); ++row) {
        if (isDone(records[row])) {
            continue;
        }
        ++wanted;
        if (row < saved.size() && isDone(saved[row])) {
            ++done;
        } else if (wanted - done <= 10) {
            std::fprintf(stderr, "not done: %s\n",
                         Utf8(row < saved.size() ? saved[row] : L"(row missing)").c_str());
        }
    }
    PostMessageW(program.window(), WM_CLOSE, 0, 0);
    program.WaitForExit(program.process(), 20000);

    std::printf("wall=%.3f cpu=%.2f cpu_from=%s", wall, cpu,
                programPid.empty() ? "GetProcessTimes" : "proc");
    if (serverCpu >= 0) {
        std::printf(" wineserver=%.2f", serverCpu);
    }
    std::printf(" startup=%.3f done=%zu/%zu\n", startup, done, wanted);
    return done == wanted ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "download_bench: %s\n", error.what());
        return 1;
    }
}
