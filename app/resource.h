// Resource ids of Pyrograph.exe.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_WRITER 102
#define IDR_MAINFRAME 128
#define IDD_AUTO_SETUP 129
#define IDD_MCU_OPTION 131
#define IDD_SET_MCU 134
#define IDR_WRITER_MENU 135

// Main window controls
#define IDC_DOWNLOAD 3
#define IDC_AUTO 4
#define IDC_BLANK_CHECK 5
#define IDC_PROGRAM 6
#define IDC_VERIFY 7
#define IDC_LOCK 8
#define IDC_READ 9
#define IDC_CHIP_INFO 10
#define IDC_LINK_TEXT 1001
#define IDC_SERIAL_TEXT 1002
#define IDC_VERSION_TEXT 1003
#define IDC_FILE_PATH 1008
#define IDC_OPEN 1009
#define IDC_MESSAGE 1010
#define IDC_PROGRESS 1012
#define IDC_HEX_VIEW 1013
#define IDC_HEX_SCROLL 1014
#define IDC_CHECKSUM 1034
#define IDC_MCU_TEXT 1035
#define IDC_DRIVER_TEXT 1036

// Small dialogs
#define IDC_MCU_PROMPT 1011
#define IDC_OPTION_REPORT 1023
#define IDC_MCU_LABEL 1024
#define IDC_MCU_LIST 1031

// Menu 135
#define ID_SETTINGS_OPTION 32771
#define ID_SETTINGS_CHECKID 32772
#define ID_SETTINGS_AUTO 32773
#define ID_SN_ENABLE 32775
#define ID_SN_SETUP 32776
#define ID_OPTION_PRINT 32777
#define ID_SETTINGS_DETECT 32778
#define ID_SETTINGS_MCU 32779

// System menu additions (multiples of 16, below the system's own range)
#define IDM_ABOUTBOX 0x0010
#define IDM_DIAGNOSIS 0x0020

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// ---- Serial Number dialog (download/chip-operation/serial-number work) ----
#define IDD_SERIAL_NUMBER 137
#define IDC_SN_ADDR0 1022
#define IDC_SN_DATA0 1023
#define IDC_SN_ADDR1 1024
#define IDC_SN_DATA1 1025
#define IDC_SN_ADDR2 1026
#define IDC_SN_DATA2 1027
#define IDC_SN_ADDR3 1028
#define IDC_SN_DATA3 1029
// ---- end of Serial Number dialog ----

// ---- Operator mode ----
#define IDD_LOT_NUMBER 140
#define IDD_PASSWORD 141
#define IDC_JOB_TITLE 1040
#define IDC_JOB_LOT 1041
#define IDC_RESULT 1042
#define IDC_RESULT_REASON 1043
#define IDC_JOB_COUNTS 1044
#define IDC_RUN_JOB 1045
#define IDC_DAY_COUNTS 1046
#define IDC_LEDGER_STATE 1047
#define IDC_ENTRY_PROMPT 1050
#define IDC_ENTRY_TEXT 1051
#define IDC_ENTRY_PROMPT2 1052
#define IDC_ENTRY_TEXT2 1053
#define ID_FILE_OPEN 32790
#define ID_FILE_SAVE_JOB 32791
#define ID_FILE_CLOSE_JOB 32792
#define ID_FILE_RESET_COUNTS 32793
#define ID_FILE_EXIT 32794
// ---- end of operator mode ----
