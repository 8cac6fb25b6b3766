// The display scale the program runs at. The manifest makes the program aware of the system
// DPI, so Windows does not stretch its window: every length the program sets in pixels is
// given for 96 DPI and scaled here, the texts growing with the system fonts.
#pragma once

// The system DPI, read once at the first call: Windows keeps it for a program of system
// awareness until the user signs in again.
int SystemDpi();

// A length given for 96 DPI at the system DPI.
int ScaleForDpi(int pixels);

// The size of the toolbar images: 24 pixels at 96 DPI, 36 at 144, 48 at 192.
int ToolbarImageSize();

// The size of the drawn images the artwork provides (strips, icons) to take for a wanted
// size: the smallest as large, or the largest of all; it is then scaled down to the size.
int ArtworkSizeFor(int wanted, const int* sizes, int count);
