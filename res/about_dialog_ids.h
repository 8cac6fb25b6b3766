// Ids of the about dialog and of its controls.
// Plain #defines only: windres reads this header as well.
#pragma once

#define IDD_ABOUT 200

// The web page link under the notice line.
#define IDC_ABOUT_LINK 2000
// The program icon.
#define IDC_ABOUT_ICON 2001
