// Workers updating their rows while the interface thread changes, rebuilds and saves the list:
// nothing may deadlock, and afterwards every row agrees with its record and the saved file.
#include "tests/gui/main_window_fixture.h"

#include "app/settings.h"
#include "base/text_file.h"
#include "list/download_list.h"
#include "list/list_file.h"
#include "list/row_progress.h"
#include "list/row_record.h"

#include <atomic>
#include <iostream>
#include <thread>
#include <vector>

namespace {

constexpr int kWorkers = 8;
constexpr DWORD kStressMs = 10000;

}  // namespace

TEST_F(MainWindowTest, WorkersAndTheInterfaceThreadNeverWaitOnEachOther) {
    CreateWindowUnderTest();
    const int rows = kWorkers * 2;  // each worker's row, and one the interface thread plays with
    for (int row = 0; row < rows; ++row) {
        ASSERT_TRUE(AddEntry(L"http://example.com/" + std::to_wstring(row)));
    }

    std::atomic<bool> stop{false};
    std::atomic<int> finished{0};
    std::vector<std::atomic<double>> lastStored(kWorkers);  // each worker's last total stored
    for (std::atomic<double>& total : lastStored) {
        total = -1;
    }
    std::vector<std::thread> workers;
    for (int worker = 0; worker < kWorkers; ++worker) {
        workers.emplace_back([&stop, &finished, &lastStored, row = worker] {
            // A real transfer reports after every read; two milliseconds between reports is
            // already far busier than a loopback download, and every 50th report ends the
            // transfer (never dropped, always rebuilt and saved).
            for (unsigned step = 0; !stop; ++step) {
                Sleep(2);
                int state = step % 50 == 49 ? kDone : kDownloading;
                RowUpdate update{state,     row,  L"DL中：" + std::to_wstring(step),
                                 1000,      step, L"http://example.com/" + std::to_wstring(row),
                                 1.0 * step};
                UpdateRow(update);
                if (state == kDone) {
                    StoreTotalSize(row, step);
                    lastStored[row] = step;
                }
            }
            ++finished;
        });
    }

    DWORD start = GetTickCount();
    unsigned round = 0;
    while (GetTickCount() - start < kStressMs) {
        int row = kWorkers + static_cast<int>(round % kWorkers);
        RowUpdate update{static_cast<int>(round % kEntryStateCount),
                         row,
                         L"状態" + std::to_wstring(round),
                         0,
                         kNoElapsed,
                         L"http://example.com/" + std::to_wstring(row),
                         -1};
        UpdateRow(update);
        RebuildRowRecord(static_cast<int>(round % rows));
        SaveListFile();
        PumpPending();  // the workers' updates are carried out here
        ++round;
    }
    stop = true;
    // Wait while still serving the workers' sent messages.
    bool allEnded = PumpUntil([&] { return finished == kWorkers; }, 10000);
    for (std::thread& worker : workers) {
        if (allEnded) {
            worker.join();
        } else {
            worker.detach();
        }
    }
    ASSERT_TRUE(allEnded) << "a worker is stuck";

    // Every worker's last total survived the interface thread's rebuilds, every row agrees with
    // its record once rebuilt, and the saved file is the records.
    for (int row = 0; row < kWorkers; ++row) {
        EXPECT_EQ(ReadTotalSize(row), lastStored[row].load()) << row;
    }
    for (int row = 0; row < rows; ++row) {
        std::wstring before = RowRecordText(row);
        ASSERT_TRUE(RebuildRowRecord(row));
        std::wstring after = RowRecordText(row);
        EXPECT_EQ(RecordTail(before), RecordTail(after)) << row;
        EXPECT_EQ(after, ComposeRowRecord(RowState(row), RowText(row, kColumnState),
                                          RowText(row, kColumnSize), RowText(row, kColumnUrl),
                                          RecordTail(after)))
            << row;
    }
    SaveListFile();
    ASSERT_TRUE(FlushListFile());
    std::vector<TextLine> lines;
    ASSERT_TRUE(ReadTextFile(ListFilePath(), kListFilePieceChars, lines));
    ASSERT_EQ(static_cast<int>(lines.size()), rows);
    for (int row = 0; row < rows; ++row) {
        EXPECT_EQ(lines[row].text + L"\n", RowRecordText(row));
    }
    std::cout << "rounds on the interface thread: " << round << "\n";
    EXPECT_GT(round, 100u) << "the interface thread was starved";
}
