// Helpers for the window tests: running the thread's messages the way the
// program's loop does, reading a dialog's control, pressing keys.
#pragma once

#include <string>

#include "platform/WinTypes.h"

class CLinoscopeApp;

namespace wintest {

// Runs every pending message of the thread (through the application's
// accelerators when an application is given) until the queue is empty.
// Returns TRUE when a WM_QUIT was among them.
BOOL PumpMessages(CLinoscopeApp* pApp = nullptr);
// Throws away everything queued, WM_QUIT included, so the next test starts clean.
void DrainQueue();
// The text of a dialog box's control.
std::string ControlText(HWND hDlg, int nId);
// Posts a key press (down and up) to a window.
void PostKey(HWND hWnd, UINT nVirtualKey);

}  // namespace wintest
