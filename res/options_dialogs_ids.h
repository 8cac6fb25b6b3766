// Ids of the options dialog and the Referer dialog and of their controls.
// Plain #defines only: windres reads this header as well.
#pragma once

#define IDD_OPTIONS 201
#define IDD_REFERER 202

// Referer dialog
#define IDC_REFERER_ON 2001
#define IDC_REFERER_TEXT 2002

// Options dialog
#define IDC_CONNECTION_COUNT 2003
#define IDC_CONNECTION_SPIN 2004
#define IDC_BUFFER_SIZE 2005
#define IDC_BUFFER_SPIN 2006
// The five naming rule buttons, in the order of the rules (0 to 4).
#define IDC_NAME_FILE 2007
#define IDC_NAME_URL 2008
#define IDC_NAME_NUMBER 2009
#define IDC_NAME_NUMBER_FILE 2010
#define IDC_NAME_NUMBER_URL 2011
#define IDC_PROXY_ON 2012
#define IDC_ASK_EXIT 2013
#define IDC_IN_TRAY 2014
#define IDC_BALLOON 2015
