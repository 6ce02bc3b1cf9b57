// Resource and control ids of the program's windows, shared by the resource
// script and the code.
#pragma once

// Dialog templates, icon and strings.
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN 102
#define IDR_MAINFRAME 128
#define IDD_EXCLUDE_LIST 129
#define IDD_SETTINGS 131

// Main window.
#define IDC_RESULTS_LIST 1002
#define IDC_PROGRESS 1011
#define IDC_SETTINGS 1012
#define IDC_EXCLUDE_LIST 1021
#define IDC_SCAN 1022
#define IDC_FIX 1023
#define IDC_STOP 1025
#define IDC_BANNER 1032
#define IDC_RESTORE_REGISTRY 1034
#define IDC_BACKUP_CHECK 1035
#define IDM_ABOUTBOX 16
#define IDM_EXCLUDE_KEY 7001

// About box.
#define IDC_ABOUT_NOTICE 1040

// Exclude list dialog.
#define IDC_EXCLUDE_PATH 1026
#define IDC_EXCLUDE_CLOSE 1027
#define IDC_EXCLUDE_ENTRIES 1029
#define IDC_EXCLUDE_REMOVE 1030
#define IDC_EXCLUDE_ROOT 1031

// Settings dialog: one check box per category switch.
#define IDC_SCAN_PROGRAMS 1013
#define IDC_SCAN_SHARED_DLLS 1014
#define IDC_SCAN_STARTUP 1015
#define IDC_SCAN_DRIVERS 1016
#define IDC_SCAN_FONTS 1017
#define IDC_SCAN_HELP_FILES 1018
#define IDC_SCAN_SOUNDS 1019
#define IDC_SCAN_OBJECTS 1020
#define IDC_SCAN_CLASSES 1021
#define IDC_SCAN_RECENT_DOCUMENTS 1024

#ifdef __cplusplus
namespace tavik {
inline constexpr int kIdResultsList = IDC_RESULTS_LIST;
inline constexpr int kIdProgress = IDC_PROGRESS;
inline constexpr int kIdSettings = IDC_SETTINGS;
inline constexpr int kIdExcludeList = IDC_EXCLUDE_LIST;
inline constexpr int kIdScan = IDC_SCAN;
inline constexpr int kIdFix = IDC_FIX;
inline constexpr int kIdStop = IDC_STOP;
inline constexpr int kIdBanner = IDC_BANNER;
inline constexpr int kIdRestoreRegistry = IDC_RESTORE_REGISTRY;
inline constexpr int kIdBackupCheck = IDC_BACKUP_CHECK;
}  // namespace tavik
#endif
