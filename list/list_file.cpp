#include "list/list_file.h"

#include "app/settings.h"
#include "list/download_list.h"
#include "list/row_record.h"
#include "list/text_file.h"

#include <commctrl.h>

namespace {

// Formed when the list is loaded and used by every save of this window's life.
std::wstring gListFilePath;

}  // namespace

void LoadListFile() {
    gListFilePath = ListFilePath();
    std::vector<TextLine> lines;
    if (!ReadTextFile(gListFilePath, kListFilePieceChars, lines)) {
        return;
    }
    ListRedrawPause pause;
    for (const TextLine& line : lines) {
        ListLine parsed;
        if (!ParseListLine(line.text, parsed)) {
            continue;
        }
        // The record keeps the line exactly as read until the row is next rebuilt.
        if (!InsertLoadedRow(parsed.state, parsed.stateText, parsed.sizeText, parsed.url,
                             line.text + L"\n")) {
            break;
        }
    }
}

bool SaveListFile() {
    return ReplaceFileAtomically(gListFilePath, EncodeUtf16LeText(AllRecordsText()));
}
