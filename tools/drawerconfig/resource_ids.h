// The numbers of drawerconfig's resources: dialogs, controls and strings.
// Shared by the resource script and the code (and the tests that drive it).
#pragma once

// Dialogs.
#define IDD_MAIN 100
#define IDD_DRAWERS 101
#define IDD_TEST 102
#define IDD_EDIT 103

// Main window.
#define IDC_TABS 1000

// Drawers page.
#define IDC_DRAWER_LIST 1100
#define IDC_ADD 1101
#define IDC_EDIT 1102
#define IDC_REMOVE 1103
#define IDC_REFRESH 1104
#define IDC_DRAWERS_STATUS 1105

// The drawer dialog (add and edit).
#define IDC_NAME 1200
#define IDC_PORT 1201
#define IDC_PIN 1202
#define IDC_SENSOR 1203
#define IDC_FIND 1204
#define IDC_FOUND 1205
#define IDC_EDIT_ERROR 1206
#define IDC_TCP_ADDRESS 1207

// Test page.
#define IDC_TEST_DEVICE 1300
#define IDC_CONNECT 1301
#define IDC_KICK 1302
#define IDC_WAIT_CLOSE 1303
#define IDC_HEALTH1 1304
#define IDC_HEALTH2 1305
#define IDC_HEALTH3 1306
#define IDC_CLOSE_DEVICE 1307
#define IDC_SENSOR_STATE 1308
#define IDC_BEEP_TIMEOUT 1309
#define IDC_BEEP_FREQUENCY 1310
#define IDC_BEEP_DURATION 1311
#define IDC_BEEP_DELAY 1312
#define IDC_TRANSCRIPT 1313
#define IDC_STEP_RESULT 1314

// The application's icon-free manifest.
#define IDR_MANIFEST 1

// Strings.
#define IDS_TITLE 2000
#define IDS_TAB_DRAWERS 2001
#define IDS_TAB_TEST 2002
#define IDS_COL_NAME 2003
#define IDS_COL_VIEWS 2004
#define IDS_COL_PORT 2005
#define IDS_COL_PIN 2006
#define IDS_COL_SENSOR 2007
#define IDS_NONE_CONFIGURED 2008
#define IDS_DIFFERS 2009
#define IDS_MISSING 2010
#define IDS_CANNOT_LIST 2011
#define IDS_ADD_TITLE 2012
#define IDS_EDIT_TITLE 2013
#define IDS_REMOVE_ASK 2014
#define IDS_PICK_DRAWER 2015
#define IDS_FINDING 2016
#define IDS_FOUND_NONE 2017
#define IDS_FOUND_PICK 2018
#define IDS_DEFAULT_TCP 2019
#define IDS_PROBE_ANSWERED 2020
#define IDS_PROBE_SILENT 2021
#define IDS_PROBE_ABSENT 2022
#define IDS_PROBE_BAD_TEXT 2023
#define IDS_PORT_REFUSED 2024
#define IDS_EXISTS 2025
#define IDS_SENSOR_UNKNOWN 2026
#define IDS_SENSOR_SHUT 2027
#define IDS_SENSOR_OPEN 2028
#define IDS_SENSOR_NO_ANSWER 2029
#define IDS_IDLE 2030
#define IDS_BUSY 2031
#define IDS_WAITING 2032
#define IDS_CLOSING 2033
#define IDS_CLOSING_WAIT 2034
#define IDS_BEEP_NUMBER 2035
#define IDS_STEP_OK 2036
#define IDS_STEP_FAILED 2037
#define IDS_HEALTH3_NOTE 2038
#define IDS_NO_DRAWERS_TO_TEST 2039
#define IDS_PROBE_LISTED 2040
