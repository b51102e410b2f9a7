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
        bQuit = bQuit || msg.message == WM_QUIT;
        if (msg.message == WM_QUIT || (pApp != nullptr && pApp->PreTranslateMessage(&msg))) continue;
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

// --- CDialogAnswerer: one timer polls every answerer ---------------------------

namespace {
std::vector<CDialogAnswerer*> g_answerers;
UINT_PTR g_nAnswerTimer = 0;

// Named rather than lambdas: 32-bit callbacks are WINAPI functions.
void CALLBACK PollAnswerers(HWND, UINT, UINT_PTR, DWORD) {
    for (CDialogAnswerer* pAnswerer : std::vector<CDialogAnswerer*>(g_answerers)) pAnswerer->Poll();
}

BOOL CALLBACK CollectDialog(HWND hWnd, LPARAM lParam) {
    char szClass[8] = "";
    GetClassNameA(hWnd, szClass, sizeof szClass);
    if (IsWindowVisible(hWnd) && std::strcmp(szClass, "#32770") == 0)
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(hWnd);
    return TRUE;
}
}  // namespace

CDialogAnswerer::CDialogAnswerer(std::string strTitle, std::function<void(HWND, int)> action)
    : m_strTitle(std::move(strTitle)), m_action(std::move(action)) {
    if (g_answerers.empty()) g_nAnswerTimer = SetTimer(nullptr, 0, 30, PollAnswerers);
    g_answerers.push_back(this);
}

CDialogAnswerer::~CDialogAnswerer() {
    std::erase(g_answerers, this);
    if (g_answerers.empty()) KillTimer(nullptr, g_nAnswerTimer);
}

void CDialogAnswerer::Poll() {
    // Forget dialogs that are gone: their handles may come back for new ones.
    std::erase_if(m_handled, [](HWND hWnd) { return !IsWindowVisible(hWnd); });
    std::vector<HWND> dialogs;
    EnumThreadWindows(GetCurrentThreadId(), CollectDialog, reinterpret_cast<LPARAM>(&dialogs));
    for (HWND hDlg : dialogs) {
        const bool bMatch = m_strTitle.empty() ? GetDlgItem(hDlg, kMessageText) != nullptr &&
                                                     (GetDlgItem(hDlg, IDYES) != nullptr || GetDlgItem(hDlg, IDNO))
                                               : GetWindowTextString(hDlg) == m_strTitle;
        if (bMatch && m_handled.insert(hDlg).second) m_action(hDlg, m_nAnswered++);
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
    TVITEMA item{TVIF_TEXT, hItem, 0, 0, szText, sizeof szText, 0, 0, 0, 0};
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

CHeldKeys::CHeldKeys(const std::vector<BYTE>& keys) {
    GetKeyboardState(m_saved);
    BYTE state[256];
    std::memcpy(state, m_saved, sizeof state);
    for (BYTE key : keys) state[key] |= 0x80;
    SetKeyboardState(state);
}

void PostKey(HWND hWnd, UINT nVirtualKey) {
    const LPARAM lScan = static_cast<LPARAM>(MapVirtualKeyA(nVirtualKey, MAPVK_VK_TO_VSC) << 16);
    PostMessageA(hWnd, WM_KEYDOWN, nVirtualKey, 1 | lScan);
    PostMessageA(hWnd, WM_KEYUP, nVirtualKey, static_cast<LPARAM>(1 | lScan | (3u << 30)));
}

std::vector<BYTE> ClientPixels(HWND hWnd) {
    RECT rc{};
    GetClientRect(hWnd, &rc);
    std::vector<BYTE> pixels(4 * static_cast<size_t>(std::max(0L, rc.right) * std::max(0L, rc.bottom)));
    if (pixels.empty()) return pixels;
    // The screen's pixels into a bitmap, then out of it as 32-bit rows, top first.
    HDC hWindowDC = GetDC(hWnd);
    HDC hMemDC = CreateCompatibleDC(hWindowDC);
    HBITMAP hBitmap = CreateCompatibleBitmap(hWindowDC, rc.right, rc.bottom);
    HGDIOBJ hOld = SelectObject(hMemDC, hBitmap);
    const BOOL bCopied = BitBlt(hMemDC, 0, 0, rc.right, rc.bottom, hWindowDC, 0, 0, SRCCOPY);
    SelectObject(hMemDC, hOld);
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), rc.right, -rc.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    const bool bRead = bCopied && hBitmap != nullptr &&
                       GetDIBits(hMemDC, hBitmap, 0, rc.bottom, pixels.data(), &info, DIB_RGB_COLORS) == rc.bottom;
    DeleteObject(hBitmap);
    DeleteDC(hMemDC);
    ReleaseDC(hWnd, hWindowDC);
    return bRead ? pixels : std::vector<BYTE>();
}

}  // namespace wintest
