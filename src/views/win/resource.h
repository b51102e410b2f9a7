// Resource and command identifiers, shared by the resource script and the code.
#pragma once

// Framework-style command identifiers
#include "monitor/CommandIds.h"

#define ID_FILE_OPEN 0xE101
#define ID_APP_ABOUT 0xE140
#define ID_APP_EXIT 0xE141
#define ID_NEXT_PANE 0xE150
#define ID_PREV_PANE 0xE151
#define ID_EDIT_COPY 0xE122
#define ID_EDIT_FIND 0xE124
#define ID_EDIT_REPEAT 0xE128
#define ID_EDIT_SELECT_ALL 0xE12A

// This program's commands
#define ID_MAKECALL 32771
#define ID_ANSWER 32772
#define ID_DROP 32773
#define ID_LINE_INFORMATION 32774
#define ID_CALL_INFORMATION 32775
#define ID_VIEW_FOLLOW_EVENTS 32776
#define ID_FILE_SAVE_REPORTS 32777

// Resources
#define IDR_MAINFRAME 128
#define IDD_ABOUTBOX 100
#define IDM_EXT_LINE 102
#define IDM_EXT_CALL 103
#define IDM_CO_LINE 104
#define IDM_CO_CALL 105
#define IDD_INIT_PROGRESS 106
#define IDS_PROGRESS_CAPTION 107
#define IDM_ETC_LINE 129
#define IDM_ETC_CALL 130
#define IDD_DIAL 130
#define IDD_INFO 131
#define IDD_FIND 132
#define AFX_IDS_APP_TITLE 57344

// Controls
#define IDC_DIAL_NUMBER 1000
#define IDC_INFO_TEXT 1001
#define IDC_INFO_SAVE 1002
#define IDC_FIND_TEXT 1003
#define IDC_PROGRESS_BAR 1004
#define IDC_PROGRESS_PERCENT 1005
#define IDC_PROGRESS_MESSAGE 1006
#define IDC_STATUS_BAR 0xE801
