// The unhandled-exception report: the program runs unattended, so a crash
// leaves its trace on the debug output (exception, module and logical
// address, a summary through the logger, the frame-pointer stack walk) and
// ends the process with exit code -1.
#pragma once

#include <windows.h>

// Installs the report as the process's top-level exception filter, and makes
// a C++ exception that nothing catches (the logger's FATAL throw among them)
// reach it as a structured exception. Safe to repeat.
void InstallExceptionReport();

// The filter itself: writes the report and ends the process.
LONG WINAPI FerxUnhandledExceptionFilter(EXCEPTION_POINTERS* pointers);
