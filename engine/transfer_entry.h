// One claimed entry as its transfer gets it. Everything the transfer needs of the list and of
// the window is taken on the interface thread in the same step as the claim, so that a worker
// crosses to that thread once to start an entry.
#pragma once

#include "engine/run_window.h"
#include "list/row_progress.h"

#include <string>

struct TransferEntry {
    int row = 0;
    std::wstring url;
    std::wstring savePath;   // empty when no save path could be made
    RefererNow referer;      // the Referer switch and field as they stood at the claim
    double total = kNoSize;  // the total stored with the entry: a resume's answer must agree
    std::wstring validator;  // the stored version of the partial file, sent as If-Range
};
