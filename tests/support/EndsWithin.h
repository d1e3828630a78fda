// Runs body on a thread of its own; false when it has not ended within ms. A
// call that hangs must fail the test rather than stop the whole run, so the
// thread is then ended.
#pragma once

#include <windows.h>

#include <functional>

bool EndsWithin(DWORD ms, const std::function<void()>& body);
