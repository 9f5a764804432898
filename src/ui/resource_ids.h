// Resource and control identifiers shared by the resource script and the code.
#pragma once

#define IDI_APP_ICON 32512
#define IDD_WIZARD 101
#define IDD_MAINTENANCE 102

// Wizard (101)
#define IDC_TITLE 1001
#define IDC_SUBTITLE 1002
#define IDC_PATH_LABEL 1003
#define IDC_PATH_EDIT 1004
#define IDC_BROWSE 1005
#define IDC_PROGRESS 1006
#define IDC_LOG 1007
#define IDC_BACK 1008
#define IDC_NEXT 1009
#define IDC_CANCEL 1010
#define IDC_LICENSE_TEXT 1011
#define IDC_LICENSE_ACCEPT 1012

// Maintenance (102)
#define IDC_MAINT_REPAIR 1020
#define IDC_MAINT_UNINSTALL 1021
#define IDC_MAINT_CONTINUE 1022
#define IDC_MAINT_CANCEL 1023
#define IDC_MAINT_UPDATE 1024

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
