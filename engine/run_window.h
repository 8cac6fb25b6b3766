// What a run asks of the window it runs for, and does to it, through one door that the
// application hands the run when it starts. The engine itself reads and touches no window:
// its rows change through the list, and everything else goes through here.
#pragma once

#include <string>

// What a run takes once, at its start, and keeps to its end: download mode locks the fields
// and the options they come from for as long as the run lasts.
// How long a transfer waits for a server that sends nothing (to connect, before the answer,
// in the body, before an FTP server confirms a retrieval) before it gives up.
constexpr DWORD kServerSilenceMs = 60000;

struct RunInputs {
    std::wstring saveFolder;
    std::wstring logPaths[3];  // download, cancel and error log, in that order
    int connectionCount = 1;
    int bufferBytes = 0;
    int namingRule = 0;
    bool proxyOn = false;
    bool balloon = false;
    DWORD silenceMs = kServerSilenceMs;
};

// The Referer switch and field: they stay usable during a run, so each entry takes them
// as it is claimed.
struct RefererNow {
    bool on = false;
    std::wstring text;
};

class RunWindow {
public:
    // On the interface thread.
    virtual void BeginDownloadMode() = 0;
    virtual RunInputs ReadInputs() = 0;
    // The running title and the busy icon, in the tray too while the window sits there.
    virtual void ShowRunning() = 0;
    // Download mode's end: the idle title, icon and controls again.
    virtual void RestoreIdleMode() = 0;
    // A run over the selected rows has ended: its rows lose their colour.
    virtual void SelectedRunEnded() = 0;
    // Read as it stands at the moment of asking.
    virtual RefererNow ReadReferer() = 0;

    // On the thread that ends the run: the completion notice, or the balloon when the
    // balloon option is on and the window sits in the tray. Returns when it is closed.
    virtual void TellRunComplete(bool balloon) = 0;

protected:
    ~RunWindow() = default;
};
