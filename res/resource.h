// Identifiers of the program's resources, shared by the .rc and the code.
#pragma once

// The maker's web server: named once, for every address the program shows or opens.
#define QUILLMERE_HOST "www.brindlewick.example"

#define IDI_APP_ICON 128
#define IDC_HAND_CURSOR 131

#define IDD_ABOUT 100
#define IDD_SETTINGS 102
#define IDD_CHECK_UPDATE 133

#define IDS_ABOUT_MENU 101   // the system-menu item that opens the About box
#define IDS_APP_TITLE 102    // "Quillmere": the settings dialog's title
#define IDS_BROWSE_TITLE 103 // the folder browser's title line
#define IDS_UPDATE_ERROR 104 // the update check's text for a status other than 200
#define IDS_PRODUCT_PAGE 106
#define IDS_UPDATE_URL 107
#define IDS_USER_AGENT 109

// Settings dialog
#define IDC_HELP_BUTTON 57670
#define IDC_INCLUDE_SUBFOLDER 1002
#define IDC_SHOW_RANDOM 1003
#define IDC_FOLDER 1008
#define IDC_BROWSE 1009
#define IDC_ABOUT 1010
#define IDC_CHECK_UPDATE 1011
#define IDC_COLOR 1015
#define IDC_OPACITY 1019
#define IDC_COLOR_SWATCH 1020

// About box
#define IDC_ABOUT_LINK 1011

// Update check
#define IDC_UPDATE_TEXT 1013
#define IDC_OPEN_WEBSITE 1014
