// Resource and command identifiers, shared by the resource script and the
// code. Plain #defines only: the resource compiler reads this file too.
#pragma once

#define IDR_MAINFRAME 128          // frame title string, tray icon, popup menu
#define IDD_ABOUTBOX 100
#define IDD_SETTINGS 134
#define IDS_APP_TITLE 57344        // the application's name
#define IDS_WALLPAPER_NOT_SHOWN 301  // a Linux desktop did not take the wallpaper
#define IDS_NO_NOTIFICATION_AREA 302  // no tray to show the icon in (Linux)
#define IDS_LOGIN_START_FAILED 314  // the login entry could not be written
// The settings dialog's picture sizes, in the order of the Stretch values.
#define IDS_SIZE_AS_IS 310
#define IDS_SIZE_STRETCHED 311
#define IDS_SIZE_FILLED 312
#define IDS_SIZE_FITTED 313
#define IDS_PROFILE_SET_ASIDE 315  // the Linux profile was damaged and kept aside
#define IDS_PROFILE_NOT_READ 316   // the Linux profile could not be read or kept

// Popup menu commands.
#define ID_SETTINGS 32772
#define ID_PREVIOUS_WALLPAPER 32774
#define ID_TILE_CURRENT 32775
#define ID_CENTER_CURRENT 32776
#define ID_APP_ABOUT 57664
#define ID_APP_EXIT 57665

// About box.
#define IDC_CONTACT 1000

// Settings dialog.
#define IDC_RANDOM_SEQUENTIAL 1003
#define IDC_RANDOM_RANDOM 1004
#define IDC_AUTOCHANGE 1006
#define IDC_TIME_SPIN 1008
#define IDC_TIME 1009
#define IDC_WHEN_MINUTES 1010
#define IDC_WHEN_HOURS 1011
#define IDC_DIRECTORY 1013
#define IDC_BROWSE 1014
#define IDC_DISPLAY_CENTER 1015
#define IDC_DISPLAY_TILE 1016
#define IDC_DISPLAY_AUTOTILE 1017
#define IDC_WIDTH_SPIN 1018
#define IDC_WIDTH 1019
#define IDC_HEIGHT_SPIN 1020
#define IDC_HEIGHT 1021
#define IDC_STRETCH 1022           // drop-down list: the size of a picture not tiled
#define IDC_UPDATE_IMAGE_LIST 1023
#define IDC_SUBFOLDERS 1024
#define IDC_START_AT_LOGIN 1030
#define IDC_EACH_MONITOR 1031

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
