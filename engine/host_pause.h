// Servers that ask a run to come back later (429 Too Many Requests, 503 Service Unavailable):
// the run's pause and pace for each such host, shared by its transfers, and one transfer's
// waits for its host.
//
// A host is a scheme, a host name and a port. When it refuses a request, no transfer of the
// run sends it a new request until the wait it asked for is over; from then on the run's
// requests to it go one at a time, a pace apart, so that the transfers that waited do not all
// ask at the same instant. A refusal of a request sent a pace after another doubles the
// pace; a minute without a refusal halves it, until the host is asked at will again.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

// The run's hosts that have refused a request. Safe on every thread: its lock is held for a
// few steps of arithmetic, never across a wait or a message to the window.
class HostPauses {
public:
    // The host of an http or https URL as "scheme://name:port"; empty for any other URL,
    // whose host is never paused.
    static std::wstring HostOf(const std::wstring& url);

    // A run starts with no host paused.
    void Clear();
    // The tick count (GetTickCount64) from which the host takes a new request; 0 for a host
    // that has never refused one.
    uint64_t ReadyAt(const std::wstring& host);

    // A request's place in its host's line: when it may go, and under which of the host's
    // pauses that was decided.
    struct Turn {
        uint64_t at = 0;
        uint32_t pause = 0;
        bool paced = false;  // a pace after another request, not the first after a pause
    };
    // Gives out the host's next turn.
    Turn TakeTurn(const std::wstring& host);
    // False when the host has paused again since the turn was given out: the turn is void.
    bool StillCurrent(const std::wstring& host, const Turn& turn);
    // The host refused the request sent on turn, asking for waitMs.
    void Pause(const std::wstring& host, uint64_t waitMs, const Turn& turn);

private:
    struct Host {
        uint64_t pauseEnd = 0;
        uint64_t nextTurn = 0;
        uint64_t paceMs = 0;
        uint64_t paceSince = 0;  // the end of the last pause, or the last easing of the pace
        uint32_t pause = 0;      // counts the pauses: the turns of each belong to it
        uint32_t turns = 0;      // given out since the last pause began
    };

    std::mutex lock_;
    std::map<std::wstring, Host> hosts_;
};

// One transfer's dealings with its host: waits for its turn before each request, and after a
// refusal decides whether to ask again. Past its limits a refusal stands as an HTTP error.
class HostWait {
public:
    // show is told the whole seconds left while the transfer waits, and 0 when a wait is over.
    // Without pauses (nullptr) nothing waits and no refusal is asked again.
    HostWait(HostPauses* pauses, const std::wstring& url, std::function<void(int)> show);

    // Waits, with the run's stop, until the host takes this transfer's next request. False
    // when the run is to stop.
    bool AwaitTurn();
    // The answer to the last request was a refusal with these Retry-After and Date headers
    // (empty when absent). True when the transfer is to ask again after its next turn.
    bool AskAgainAfterRefusal(const std::wstring& retryAfter, const std::wstring& date);

private:
    bool WaitUntil(uint64_t at);

    HostPauses* pauses_;
    std::wstring host_;
    std::function<void(int)> show_;
    HostPauses::Turn turn_;
    int refusals_ = 0;
};

// The rows of a run's entries met while their host was waiting, in list order for each host.
// They are left as they are meanwhile, and the workers go on with other hosts. Used under the
// run's cursor lock.
class HeldRows {
public:
    void Hold(const std::wstring& host, int row) { rows_[host].push_back(row); }
    // Takes a held row whose host takes requests now, the first in list order; with the list
    // done, the one whose host is ready first, whose transfer then waits for it. False when
    // none is to be taken.
    bool Take(HostPauses& pauses, uint64_t now, bool listDone, int& row);
    void Clear() { rows_.clear(); }

private:
    std::map<std::wstring, std::deque<int>> rows_;
};
