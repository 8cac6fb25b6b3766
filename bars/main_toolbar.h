// The main toolbar: its fixed button catalogue, the user's layout of it and the layout file.
//
// A button is known everywhere by its image index in the toolbar strip, which is also its
// index in the catalogue. The layout file holds one line of those indices, -1 standing for
// a separator, e.g. "0,1,2,-1,3".
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

constexpr int kCatalogueSize = 36;
// Image 35 only stands for a separator inside the customization dialog.
constexpr int kSeparatorMarkerImage = 35;
// The stop button: disabled in every layout, enabled only while a run is active.
constexpr int kStopButtonImage = 1;
constexpr size_t kMaxLayoutButtons = 256;

// ButtonCatalogue: entry i is the button whose image is i.
extern const TBBUTTON kButtonCatalogue[kCatalogueSize];

// MainToolbarLayout: the buttons the main toolbar shows, in order (at most 256).
extern std::vector<TBBUTTON> gMainToolbarLayout;

std::vector<TBBUTTON> DefaultToolbarLayout();
TBBUTTON SeparatorButton();

// The layout a line of the layout file describes: a field below 0 is a separator, 0 to 34
// a button not placed yet, anything else is dropped; a field without digits counts as 0.
std::vector<TBBUTTON> ParseToolbarLayout(const std::wstring& line);
// The line the layout file holds for a layout, without a line end.
std::wstring FormatToolbarLayout(const std::vector<TBBUTTON>& layout);

// Replaces the layout by the file's, or keeps the default when the file cannot be read.
void LoadToolbarLayout();
// Takes the buttons of a toolbar (the customization dialog's) as the new layout and writes
// the layout file. A file that cannot be written keeps its old content, unreported.
void SaveToolbarLayout(HWND toolbar);

// Creates the main toolbar (id 1) from the layout, with the prepared image strip.
HWND CreateMainToolbar(HWND mainWindow, HBITMAP images, bool visible);
