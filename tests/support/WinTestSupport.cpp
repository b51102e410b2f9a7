#include "support/WinTestSupport.h"

#include "app/LinoscopeApp.h"
#include "win32/Window.h"

namespace wintest {

BOOL PumpMessages(CLinoscopeApp* pApp) {
    BOOL bQuit = FALSE;
    MSG msg;
    // The program's own order: its input first, painting and timers at least every few events.
    while (pApp != nullptr ? pApp->NextMessage(&msg, FALSE) : PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        bQuit = bQuit || msg.message == WM_QUIT;
        if (msg.message == WM_QUIT || (pApp != nullptr && pApp->PreTranslateMessage(&msg))) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return bQuit;
}

void DrainQueue() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT) DispatchMessageA(&msg);
    }
}

std::string ControlText(HWND hDlg, int nId) {
    return GetWindowTextString(GetDlgItem(hDlg, nId));
}

void PostKey(HWND hWnd, UINT nVirtualKey) {
    const LPARAM lScan = static_cast<LPARAM>(MapVirtualKeyA(nVirtualKey, MAPVK_VK_TO_VSC) << 16);
    PostMessageA(hWnd, WM_KEYDOWN, nVirtualKey, 1 | lScan);
    PostMessageA(hWnd, WM_KEYUP, nVirtualKey, static_cast<LPARAM>(1 | lScan | (3u << 30)));
}

}  // namespace wintest
