// Resource ids of the disabled-unit shell, shared by Dormantis.rc and the code.
#pragma once

#define IDR_MAINFRAME     128   // frame: menu, title string and icon
#define IDB_BLANK         154
#define IDB_UNITDISABLED  155
