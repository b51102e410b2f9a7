#include "support/WinTestSupport.h"

#include <cstring>

#include "app/LinoscopeApp.h"
#include "win32/Window.h"

namespace wintest {

BOOL PumpMessages(CLinoscopeApp* pApp) {
    BOOL bQuit = FALSE;
    MSG msg;
    // The program's own order: its input first, painting and timers at least every few events.
    while (pApp != nullptr ? pApp->NextMessage(&msg, FALSE) : PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            bQuit = TRUE;
            continue;
        }
        if (pApp != nullptr && pApp->PreTranslateMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return bQuit;
}

bool PumpUntil(const std::function<bool()>& condition, CLinoscopeApp* pApp, DWORD dwTimeoutMs) {
    for (const DWORD dwStart = GetTickCount();;) {
        PumpMessages(pApp);
        if (condition()) return true;
        if (GetTickCount() - dwStart > dwTimeoutMs) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

void DrainQueue() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message != WM_QUIT) DispatchMessageA(&msg);
    }
}

// --- CDialogAnswerer -------------------------------------------------------------

namespace {
std::vector<CDialogAnswerer*> g_answerers;

// Named rather than a lambda: 32-bit callbacks are WINAPI functions.
BOOL CALLBACK CollectDialog(HWND hWnd, LPARAM lParam) {
    char szClass[64] = "";
    GetClassNameA(hWnd, szClass, sizeof szClass);
    if (IsWindowVisible(hWnd) && std::strcmp(szClass, "#32770") == 0)
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
    return TRUE;
}
}  // namespace

CDialogAnswerer::CDialogAnswerer(std::string strTitle, std::function<void(HWND, int)> action)
    : m_strTitle(std::move(strTitle)), m_action(std::move(action)) {
    g_answerers.push_back(this);
    m_nTimer = SetTimer(nullptr, 0, 30, OnTimer);
}

CDialogAnswerer::~CDialogAnswerer() {
    KillTimer(nullptr, m_nTimer);
    std::erase(g_answerers, this);
}

void CALLBACK CDialogAnswerer::OnTimer(HWND, UINT, UINT_PTR nTimer, DWORD) {
    for (CDialogAnswerer* pAnswerer : std::vector<CDialogAnswerer*>(g_answerers)) {
        if (pAnswerer->m_nTimer == nTimer) pAnswerer->Poll();
    }
}

void CDialogAnswerer::Poll() {
    // Forget dialogs that are gone: their handles may come back for new ones.
    std::erase_if(m_handled, [](HWND hWnd) { return !IsWindow(hWnd) || !IsWindowVisible(hWnd); });
    std::vector<HWND> dialogs;
    EnumThreadWindows(GetCurrentThreadId(), CollectDialog, reinterpret_cast<LPARAM>(&dialogs));
    for (HWND hDlg : dialogs) {
        const bool bMatch = m_strTitle.empty()
                                ? GetDlgItem(hDlg, kMessageText) != nullptr &&
                                      (GetDlgItem(hDlg, IDYES) != nullptr || GetDlgItem(hDlg, IDNO) != nullptr)
                                : GetWindowTextString(hDlg) == m_strTitle;
        if (!bMatch || !m_handled.insert(hDlg).second) continue;
        m_action(hDlg, m_nAnswered++);
    }
}

std::string AnswerSaveDialog(HWND hDlg, const std::string& strPath) {
    // The file name box of the Explorer-style dialog (cmb13), or of the old
    // style one (edt1).
    const int nId = GetDlgItem(hDlg, 0x47C) != nullptr ? 0x47C : 0x480;
    std::string strOffered = ControlText(hDlg, nId);
    SetDlgItemTextA(hDlg, nId, strPath.c_str());
    PostClick(hDlg, IDOK);
    return strOffered;
}

std::string ControlText(HWND hDlg, int nId) {
    return GetWindowTextString(GetDlgItem(hDlg, nId));
}

void PostClick(HWND hDlg, int nId) {
    PostMessageA(hDlg, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(hDlg, nId)));
}

// --- Trees -----------------------------------------------------------------------

std::vector<HTREEITEM> ChildItems(HWND hTree, HTREEITEM hParent) {
    std::vector<HTREEITEM> items;
    HTREEITEM hItem = hParent == TVI_ROOT ? TreeView_GetRoot(hTree) : TreeView_GetChild(hTree, hParent);
    for (; hItem != nullptr; hItem = TreeView_GetNextSibling(hTree, hItem)) items.push_back(hItem);
    return items;
}

std::string ItemText(HWND hTree, HTREEITEM hItem) {
    char szText[512] = "";
    TVITEMA item{};
    item.mask = TVIF_TEXT;
    item.hItem = hItem;
    item.pszText = szText;
    item.cchTextMax = sizeof szText;
    SendMessageA(hTree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return szText;
}

std::vector<std::string> ChildTexts(HWND hTree, HTREEITEM hParent) {
    std::vector<std::string> texts;
    for (HTREEITEM hItem : ChildItems(hTree, hParent)) texts.push_back(ItemText(hTree, hItem));
    return texts;
}

HTREEITEM FindChild(HWND hTree, HTREEITEM hParent, const std::string& strText) {
    for (HTREEITEM hItem : ChildItems(hTree, hParent)) {
        if (ItemText(hTree, hItem) == strText) return hItem;
    }
    return nullptr;
}

// --- Keys and pixels ---------------------------------------------------------------

CHeldKeys::CHeldKeys(std::vector<BYTE> keys) {
    GetKeyboardState(m_saved);
    BYTE state[256];
    std::memcpy(state, m_saved, sizeof state);
    for (BYTE key : keys) state[key] |= 0x80;
    SetKeyboardState(state);
}

CHeldKeys::~CHeldKeys() {
    SetKeyboardState(m_saved);
}

void PostKey(HWND hWnd, UINT nVirtualKey) {
    const UINT nScan = MapVirtualKeyA(nVirtualKey, MAPVK_VK_TO_VSC);
    PostMessageA(hWnd, WM_KEYDOWN, nVirtualKey, static_cast<LPARAM>(1 | (nScan << 16)));
    PostMessageA(hWnd, WM_KEYUP, nVirtualKey, static_cast<LPARAM>(1 | (nScan << 16) | (3u << 30)));
}

std::vector<BYTE> ClientPixels(HWND hWnd) {
    RECT rc{};
    GetClientRect(hWnd, &rc);
    if (rc.right <= 0 || rc.bottom <= 0) return {};
    HDC hWindowDC = GetDC(hWnd);
    HDC hMemDC = CreateCompatibleDC(hWindowDC);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), rc.right, -rc.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* pBits = nullptr;
    HBITMAP hBitmap = CreateDIBSection(hMemDC, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
    std::vector<BYTE> pixels;
    if (hBitmap != nullptr && pBits != nullptr) {
        HGDIOBJ hOld = SelectObject(hMemDC, hBitmap);
        if (BitBlt(hMemDC, 0, 0, rc.right, rc.bottom, hWindowDC, 0, 0, SRCCOPY)) {
            GdiFlush();
            pixels.assign(static_cast<BYTE*>(pBits), static_cast<BYTE*>(pBits) + 4 * rc.right * rc.bottom);
        }
        SelectObject(hMemDC, hOld);
    }
    if (hBitmap != nullptr) DeleteObject(hBitmap);
    DeleteDC(hMemDC);
    ReleaseDC(hWnd, hWindowDC);
    return pixels;
}

}  // namespace wintest
