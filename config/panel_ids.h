#pragma once
// Resource identifiers of vorlpanel: dialogs, the icon and every control the presenters name.
// Plain macros, so that the resource compiler reads this header too.

// Program icon and the about item of the main window's system menu.
#define IDI_PANEL 128
#define IDM_ABOUTBOX 16

// Dialogs.
#define IDD_CONNECTION 101
#define IDD_MAIN 102
#define IDD_ABOUT 103
#define IDD_USER_PAGE 110
#define IDD_NETWORK_PAGE 111
#define IDD_FLASH_PAGE 112
#define IDD_ADVANCED_PAGE 113
#define IDD_SERVER_INFO_PAGE 114
#define IDD_USER_DIALOG 115

// The default buttons of the connection dialog and the main window are not IDOK: Wine looks the
// default button of Enter up by number through every child window, and an IP-address control's
// own fields are numbered 1 as well. Found first, and disabled with their control, they would
// swallow Enter.
#define IDC_CONNECT_OK 1007
#define IDC_EXIT 1014

// Connection dialog.
#define IDC_HOST_CHOICE 1001
#define IDC_NETWORK_CHOICE 1002
#define IDC_CARD_IP 1003
#define IDC_LOGIN_NAME 1004
#define IDC_LOGIN_PASSWORD 1005
#define IDC_CONNECT_STATUS 1006

// Main window and about box.
#define IDC_PAGE_TABS 1010
#define IDC_ABOUT_ICON 1011
#define IDC_ABOUT_VERSION 1012
#define IDC_ABOUT_LINE 1013

// User Manager page (the user dialog shares the name, password and SNMP controls' numbers).
#define IDC_USER_LIST 1020
#define IDC_USER_NAME 1021
#define IDC_CURRENT_PASSWORD 1022
#define IDC_NEW_PASSWORD 1023
#define IDC_CONFIRM_PASSWORD 1024
#define IDC_SNMP_ACCESS 1025
#define IDC_AUTH_PROTOCOL 1026
#define IDC_PRIV_PROTOCOL 1027
#define IDC_ADD_USER 1028
#define IDC_DELETE_USER 1029
#define IDC_MODIFY_USER 1030
#define IDC_CANCEL_USER 1031

// Network Configuration page.
#define IDC_NET_LINK 1040
#define IDC_NET_METHOD 1041
#define IDC_NET_HARDWARE 1042
#define IDC_NET_ADDRESS 1043
#define IDC_NET_NETMASK 1044
#define IDC_NET_GATEWAY 1045
#define IDC_NEW_METHOD 1046
#define IDC_NEW_ADDRESS 1047
#define IDC_NEW_NETMASK 1048
#define IDC_NEW_GATEWAY 1049
#define IDC_NET_APPLY 1050

// Firmware Flash page.
#define IDC_IMAGE_PATH 1080
#define IDC_BROWSE_IMAGE 1081
#define IDC_MODULE_LIST 1082
#define IDC_COMPLETE_FLASH 1083
#define IDC_BOOT_BLOCK 1084
#define IDC_RETAIN_CONFIG 1085
#define IDC_FLASH_STATUS 1086
#define IDC_FLASH_PROGRESS 1087
#define IDC_START_FLASH 1088

// Advanced page.
#define IDC_CURRENT_MAC 1060
#define IDC_NEW_MAC 1061
#define IDC_MAC_APPLY 1062
#define IDC_RESET_CARD 1063

// Server Information page.
#define IDC_SERVER_NAME 1070
#define IDC_SERVER_LOCATION 1071
#define IDC_SERVER_OS 1072
#define IDC_SERVER_DESCRIPTION 1073
#define IDC_SERVER_APPLY 1074
