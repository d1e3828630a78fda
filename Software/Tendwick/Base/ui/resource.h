// Resource ids of the maintenance program, shared by Tendwick.rc and the code.
#pragma once

#define IDR_MAINFRAME          128   // the program icon
#define IDB_KEY_RELEASED_LARGE 130   // soft-key face, 91x53
#define IDR_PROGRESS_AVI       131   // the progress animation, 140x70
#define IDB_KEY_PRESSED_LARGE  132
#define IDB_KEY_PRESSED_SMALL  133   // soft-key face, 84x44 (350-high screens)
#define IDB_KEY_RELEASED_SMALL 134

// Child-control ids of the main window.
#define IDC_LABEL1     1001
#define IDC_LABEL2     1002
#define IDC_LABEL3     1003
#define IDC_LABEL4     1004
#define IDC_ANIMATION  1005
#define IDC_PROGRESS   1006
#define IDC_SN_CAPTION 1010
#define IDC_SN_EDIT    1011
#define IDC_SN_STATUS  1012

// The progress animation has 44 frames; its last one is the still picture.
#define PROGRESS_AVI_LAST_FRAME 43
