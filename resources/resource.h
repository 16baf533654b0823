// Resource identifiers. The numbers are part of the library's interface: the
// engine and the report code reach controls of the monitors by these IDs.
#pragma once

// Dialog templates
#define IDD_VARIABLE_LIST     101
#define IDD_OBJECT_LIST       102
#define IDD_OTHER_INFO        103
#define IDD_EXECUTION_LOG     104
#define IDD_PREVIEW           105
#define IDD_DEBUG_REPORT      106
#define IDD_REPORT_BROWSER    108
#define IDD_SEND_CONFIRM      111
#define IDD_REPORT_PREVIEW    112
#define IDD_DATABASE          113

// Menu and bitmap
#define IDM_DEBUG_REPORT      107
#define IDB_STATE_GLYPHS      114

// Other-information panel (103)
#define IDC_JUMP_LABEL        1001
#define IDC_VOICE             1004
#define IDC_VOICE_LABEL       1005
#define IDC_OBJECT_LIST_TEXT  1006
#define IDC_JUMP              1007
#define IDC_IMAGE_ERRORS      1009
#define IDC_GALLERY_OPEN      1010
#define IDC_SHOW_FPS          1011
#define IDC_FORCE_EXIT_SCENE  1012
#define IDC_CHECK_TEXT_LENGTH 1013
#define IDC_BGS               1014
#define IDC_BGS_LABEL         1015
#define IDC_BGV               1016
#define IDC_BGV_LABEL         1017
#define IDC_CHECK_ASSETS      1018

// Variable list (101)
#define IDC_VARIABLE_LIST     1002
#define IDC_VALUE_EDITOR      1008
#define IDC_VARIABLE_FIND     1030

// Object list (102)
#define IDC_OBJECT_LIST       1003

// Execution log (104)
#define IDC_LOG_TEXT          1012

// Debug report (106)
#define IDC_REPORT_TABS       1019

// Report browser (108)
#define IDC_BROWSER_LIST      1016
#define IDC_BROWSER_TABS      1017

// Send confirmation (111)
#define IDC_REPORT_TITLE      1022
#define IDC_SEND_TEXT         1023
#define IDC_SEND_SNAPSHOT     1024
#define IDC_SEND_GAME_STATE   1028

// Report preview (112)
#define IDC_PREVIEW_TEXT      1024
#define IDC_PREVIEW_NOTES     1025

// Database monitor (113)
#define IDC_TABLE_SELECTOR    1026
#define IDC_TABLE_GRID        1027

// Report dialog menu commands (107)
#define IDM_INSERT_VOICE      40005
#define IDM_INSERT_OBJECTS    40006
#define IDM_INSERT_TEXT       40008
#define IDM_SEND_REPORT       40009
#define IDM_SHOW_BROWSER      40012
#define IDM_CHOOSE_COLOUR     40014
// Added at run time, not in the template: the outbox's count, which does nothing
#define IDM_OUTBOX_WAITING    40015

// Static controls without an ID of their own
#ifndef IDC_STATIC
#define IDC_STATIC            (-1)
#endif
