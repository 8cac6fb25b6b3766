// Ids of the main toolbar's customization dialog. Plain #defines only: windres reads this
// header as well.
#pragma once

#define IDD_CUSTOMIZE 203

// The two panes are created at run time: the upper one lists the current buttons, the lower
// one the buttons that can be added. Each hosts one toolbar.
#define IDC_CUSTOMIZE_CURRENT_PANE 100
#define IDC_CUSTOMIZE_AVAILABLE_PANE 101
#define IDC_CUSTOMIZE_CURRENT_TOOLBAR 3
#define IDC_CUSTOMIZE_AVAILABLE_TOOLBAR 4
