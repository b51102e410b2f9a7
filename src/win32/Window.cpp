#include "win32/Window.h"

#include <algorithm>
#include <vector>

namespace {

HWND g_hMainWindow = nullptr;

// Any value that differs from the other subclass identifiers of a control.
constexpr UINT_PTR kSubclassId = 0x4C53;

}  // namespace

HWND GetMainWindow() {
    // A main window that was destroyed without telling us is no main window.
    if (g_hMainWindow != nullptr && !IsWindow(g_hMainWindow)) g_hMainWindow = nullptr;
    return g_hMainWindow;
}

void SetMainWindow(HWND hWnd) {
    g_hMainWindow = hWnd;
}

std::string GetWindowTextString(HWND hWnd) {
    if (hWnd == nullptr) return std::string();
    int nLength = GetWindowTextLengthA(hWnd);
    if (nLength <= 0) return std::string();
    std::vector<char> buffer(static_cast<size_t>(nLength) + 1, '\0');
    int nCopied = GetWindowTextA(hWnd, buffer.data(), nLength + 1);
    return std::string(buffer.data(), nCopied > 0 ? static_cast<size_t>(nCopied) : 0);
}

// --- CWindow -------------------------------------------------------------------

CWindow::~CWindow() {
    if (m_hWnd == nullptr) return;
    // The object goes first: unbind it so no message reaches a dead object.
    HWND hWnd = m_hWnd;
    if (m_bSubclassed) {
        RemoveWindowSubclass(hWnd, StaticSubclassProc, kSubclassId);
    } else {
        SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
    }
    m_hWnd = nullptr;
    DestroyWindow(hWnd);
}

BOOL CWindow::RegisterWindowClass(HINSTANCE hInstance, LPCSTR pszClass, UINT nStyle, HCURSOR hCursor,
                                  HBRUSH hBackground, HICON hIcon) {
    WNDCLASSEXA wc{};
    if (GetClassInfoExA(hInstance, pszClass, &wc)) return TRUE;
    wc = WNDCLASSEXA{};
    wc.cbSize = sizeof(wc);
    wc.style = nStyle;
    wc.lpfnWndProc = StaticWindowProc;
    wc.hInstance = hInstance;
    wc.hCursor = hCursor;
    wc.hbrBackground = hBackground;
    wc.hIcon = hIcon;
    wc.lpszClassName = pszClass;
    return RegisterClassExA(&wc) != 0;
}

BOOL CWindow::Create(HINSTANCE hInstance, LPCSTR pszClass, LPCSTR pszTitle, DWORD dwStyle, DWORD dwExStyle, int x,
                     int y, int cx, int cy, HWND hParent, HMENU hMenuOrId) {
    if (m_hWnd != nullptr) return FALSE;
    m_bSubclassed = FALSE;
    HWND hWnd =
        CreateWindowExA(dwExStyle, pszClass, pszTitle, dwStyle, x, y, cx, cy, hParent, hMenuOrId, hInstance, this);
    // WM_NCCREATE has bound m_hWnd already; a failed WM_CREATE destroys it again.
    return hWnd != nullptr && m_hWnd == hWnd;
}

BOOL CWindow::CreateSubclassed(HINSTANCE hInstance, LPCSTR pszClass, DWORD dwStyle, DWORD dwExStyle, HWND hParent,
                               UINT nId) {
    if (m_hWnd != nullptr) return FALSE;
    HWND hWnd = CreateWindowExA(dwExStyle, pszClass, "", dwStyle, 0, 0, 0, 0, hParent,
                                reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nId)), hInstance, nullptr);
    if (hWnd == nullptr) return FALSE;
    if (!SetWindowSubclass(hWnd, StaticSubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        DestroyWindow(hWnd);
        return FALSE;
    }
    m_hWnd = hWnd;
    m_bSubclassed = TRUE;
    return TRUE;
}

LRESULT CWindow::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    return Default(uMsg, wParam, lParam);
}

LRESULT CWindow::Default(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (m_bSubclassed) return DefSubclassProc(m_hWnd, uMsg, wParam, lParam);
    return DefWindowProcA(m_hWnd, uMsg, wParam, lParam);
}

LRESULT CWindow::Dispatch(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    HWND hWnd = m_hWnd;
    LRESULT lResult = WindowProc(uMsg, wParam, lParam);
    if (uMsg == WM_NCDESTROY) {
        if (m_bSubclassed) {
            RemoveWindowSubclass(hWnd, StaticSubclassProc, kSubclassId);
        } else {
            SetWindowLongPtrA(hWnd, GWLP_USERDATA, 0);
        }
        m_hWnd = nullptr;
    }
    return lResult;
}

LRESULT CALLBACK CWindow::StaticWindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    auto* pWindow = reinterpret_cast<CWindow*>(GetWindowLongPtrA(hWnd, GWLP_USERDATA));
    if (pWindow == nullptr && uMsg == WM_NCCREATE) {
        auto* pCreate = reinterpret_cast<CREATESTRUCTA*>(lParam);
        pWindow = static_cast<CWindow*>(pCreate->lpCreateParams);
        if (pWindow != nullptr) {
            pWindow->m_hWnd = hWnd;
            SetWindowLongPtrA(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(pWindow));
        }
    }
    if (pWindow == nullptr) return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    return pWindow->Dispatch(uMsg, wParam, lParam);
}

LRESULT CALLBACK CWindow::StaticSubclassProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                             DWORD_PTR dwRefData) {
    auto* pWindow = reinterpret_cast<CWindow*>(dwRefData);
    if (pWindow == nullptr || pWindow->m_hWnd != hWnd) return DefSubclassProc(hWnd, uMsg, wParam, lParam);
    return pWindow->Dispatch(uMsg, wParam, lParam);
}

void CenterOverOwner(HWND hWnd) {
    HWND hOver = GetWindow(hWnd, GW_OWNER);
    const auto shown = [](HWND h) { return h != nullptr && IsWindowVisible(h) && !IsIconic(h); };
    if (!shown(hOver)) hOver = GetMainWindow();
    if (!shown(hOver)) hOver = nullptr;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    HMONITOR hMonitor = MonitorFromWindow(hOver != nullptr ? hOver : hWnd, MONITOR_DEFAULTTOPRIMARY);
    if (!GetMonitorInfoA(hMonitor, &monitor)) return;
    const RECT rcArea = monitor.rcWork;
    RECT rcOver = rcArea;
    if (hOver != nullptr) GetWindowRect(hOver, &rcOver);
    RECT rc{};
    GetWindowRect(hWnd, &rc);
    const int nWidth = rc.right - rc.left;
    const int nHeight = rc.bottom - rc.top;
    int x = (rcOver.left + rcOver.right - nWidth) / 2;
    int y = (rcOver.top + rcOver.bottom - nHeight) / 2;
    // Wholly on the screen when it fits, its caption reachable when it does not.
    x = std::max(std::min(x, static_cast<int>(rcArea.right) - nWidth), static_cast<int>(rcArea.left));
    y = std::max(std::min(y, static_cast<int>(rcArea.bottom) - nHeight), static_cast<int>(rcArea.top));
    SetWindowPos(hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- CDialogBox ----------------------------------------------------------------

CDialogBox::~CDialogBox() {
    if (m_hWnd == nullptr) return;
    HWND hWnd = m_hWnd;
    SetWindowLongPtrA(hWnd, DWLP_USER, 0);
    m_hWnd = nullptr;
    if (!m_bModal) DestroyWindow(hWnd);
}

INT_PTR CDialogBox::DoModal(HWND hOwner) {
    if (m_hWnd != nullptr) return -1;
    if (hOwner == nullptr) {
        HWND hMain = GetMainWindow();
        if (hMain != nullptr) hOwner = GetLastActivePopup(hMain);
    }
    m_bModal = TRUE;
    INT_PTR nResult = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_nTemplateId), hOwner,
                                      StaticDialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    m_bModal = FALSE;
    return nResult;
}

BOOL CDialogBox::CreateModeless(HWND hParent) {
    if (m_hWnd != nullptr) return FALSE;
    m_bModal = FALSE;
    HWND hWnd = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_nTemplateId), hParent,
                                   StaticDialogProc, reinterpret_cast<LPARAM>(this));
    return hWnd != nullptr;
}

void CDialogBox::EndModal(INT_PTR nResult) {
    if (m_bModal && m_hWnd != nullptr) EndDialog(m_hWnd, nResult);
}

BOOL CDialogBox::OnCommand(WORD wId, WORD, HWND) {
    switch (wId) {
        case IDOK:
            OnOK();
            return TRUE;
        case IDCANCEL:
            OnCancel();
            return TRUE;
        default:
            return FALSE;
    }
}

INT_PTR CDialogBox::DialogProc(UINT, WPARAM, LPARAM) {
    return FALSE;
}

INT_PTR CALLBACK CDialogBox::StaticDialogProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    auto* pDialog = reinterpret_cast<CDialogBox*>(GetWindowLongPtrA(hWnd, DWLP_USER));
    if (uMsg == WM_INITDIALOG) {
        pDialog = reinterpret_cast<CDialogBox*>(lParam);
        if (pDialog == nullptr) return TRUE;
        pDialog->m_hWnd = hWnd;
        SetWindowLongPtrA(hWnd, DWLP_USER, reinterpret_cast<LONG_PTR>(pDialog));
        const BOOL bDefaultFocus = pDialog->OnInitDialog();
        if (pDialog->m_hWnd != nullptr) CenterOverOwner(hWnd);
        return bDefaultFocus;
    }
    if (pDialog == nullptr) return FALSE;
    INT_PTR nResult = FALSE;
    if (uMsg == WM_COMMAND) {
        nResult = pDialog->OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
    } else {
        nResult = pDialog->DialogProc(uMsg, wParam, lParam);
    }
    if (uMsg == WM_NCDESTROY) {
        SetWindowLongPtrA(hWnd, DWLP_USER, 0);
        pDialog->m_hWnd = nullptr;
    }
    return nResult;
}
