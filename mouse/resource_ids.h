// Resource identifiers of vorlpoint, shared by vorlpoint.rc and the program's code.
#pragma once

#define IDS_APP_TITLE 103
#define IDM_ABOUT 104
#define IDM_EXIT 105
#define IDI_VORLPOINT 107
#define IDC_VORLPOINT 109
#define IDR_TRAYMENU 132
#define IDD_ABOUTBOX 143
#define IDC_ABOUT_TITLE 1000
#define IDC_ABOUT_VERSION 1001
#define IDC_ABOUT_NOTICE 1002
