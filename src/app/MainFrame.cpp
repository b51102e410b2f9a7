#include "app/MainFrame.h"

#include "app/LinoscopeApp.h"
#include "monitor/LinoscopeDoc.h"
#include "views/resource.h"

namespace {

constexpr char kFrameClass[] = "Linoscope3Frame";
// Child id of the splitter; the views are numbered from it inside the splitter.
constexpr UINT kSplitterId = 59648;
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

constexpr DWORD kTreeStyles = TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS;

}  // namespace

CMainFrame::CMainFrame(CLinoscopeApp* pApp, CLinoscopeDoc* pDocument) : m_pApp(pApp), m_pDocument(pDocument) {}

CMainFrame::~CMainFrame() {
    // Views before the frame's window, as the window would destroy them anyway.
    if (m_hWnd != nullptr) ::DestroyWindow(m_hWnd);
}

BOOL CMainFrame::Create(HINSTANCE hInstance) {
    m_hInstance = hInstance;
    HICON hIcon = LoadIconA(hInstance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    if (!RegisterWindowClass(hInstance, kFrameClass, CS_HREDRAW | CS_VREDRAW, LoadCursor(nullptr, IDC_ARROW),
                             reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), hIcon)) {
        return FALSE;
    }
    char szTitle[128] = "";
    LoadStringA(hInstance, AFX_IDS_APP_TITLE, szTitle, sizeof szTitle);
    HMENU hMenu = LoadMenuA(hInstance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    m_hAccel = LoadAcceleratorsA(hInstance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    if (!CWindow::Create(hInstance, kFrameClass, szTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, hMenu)) {
        if (hMenu != nullptr && IsMenu(hMenu)) DestroyMenu(hMenu);
        return FALSE;
    }
    return TRUE;
}

BOOL CMainFrame::OnCreateClient() {
    if (!m_wndSplitter.Create(m_hInstance, m_hWnd, kSplitterId, 3)) return FALSE;
    RECT rc{};
    GetClientRect(m_hWnd, &rc);
    const int nWidth = rc.right / 3;

    m_pCoView = std::make_unique<CCoView>();
    m_pExtView = std::make_unique<CExtView>();
    m_pEtcView = std::make_unique<CEtcView>();
    CLineView* views[] = {m_pCoView.get(), m_pExtView.get(), m_pEtcView.get()};
    for (int nColumn = 0; nColumn < 3; ++nColumn) {
        CLineView* pView = views[nColumn];
        if (!pView->Create(m_hInstance, m_wndSplitter.GetHwnd(), kSplitterId + static_cast<UINT>(nColumn), this)) {
            ::DestroyWindow(m_wndSplitter.GetHwnd());
            return FALSE;
        }
        m_wndSplitter.SetPane(nColumn, pView->GetHwnd(), nWidth);
    }
    for (CLineView* pView : views) {
        HWND hView = pView->GetHwnd();
        SetWindowLongPtrA(hView, GWL_STYLE, GetWindowLongPtrA(hView, GWL_STYLE) | kTreeStyles);
        SetWindowPos(hView, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }
    m_wndSplitter.SetActiveColumn(kCoColumn);
    return TRUE;
}

void CMainFrame::InitialUpdateFrame() {
    CLineView* views[] = {m_pCoView.get(), m_pExtView.get(), m_pEtcView.get()};
    for (CLineView* pView : views) {
        if (pView != nullptr && pView->GetHwnd() != nullptr) pView->OnInitialUpdate();
    }
}

void CMainFrame::UpdateAllViews() {
    CLineView* views[] = {m_pCoView.get(), m_pExtView.get(), m_pEtcView.get()};
    for (CLineView* pView : views) {
        if (pView != nullptr) pView->OnUpdate();
    }
}

CLinoscopeDoc* CMainFrame::GetActiveDocument() const { return m_hWnd != nullptr ? m_pDocument : nullptr; }

CLineView* CMainFrame::GetViewOfColumn(int nColumn) const {
    switch (nColumn) {
        case kCoColumn:
            return m_pCoView.get();
        case kExtColumn:
            return m_pExtView.get();
        case kEtcColumn:
            return m_pEtcView.get();
        default:
            return nullptr;
    }
}

CLineView* CMainFrame::GetActiveView() const {
    CLineView* pView = GetViewOfColumn(m_wndSplitter.GetActiveColumn());
    return pView != nullptr && pView->GetHwnd() != nullptr ? pView : nullptr;
}

void CMainFrame::OnViewActivated(CLineView* pView) {
    if (pView != nullptr) m_wndSplitter.SetActiveColumn(m_wndSplitter.FindColumn(pView->GetHwnd()));
}

void CMainFrame::ActivateNextPane(BOOL bPrevious) {
    const int nCount = m_wndSplitter.GetColumnCount();
    if (nCount <= 0) return;
    int nColumn = m_wndSplitter.GetActiveColumn();
    if (nColumn < 0) {
        nColumn = 0;
    } else {
        nColumn = (nColumn + (bPrevious ? nCount - 1 : 1)) % nCount;
    }
    m_wndSplitter.SetActiveColumn(nColumn);
    if (HWND hPane = m_wndSplitter.GetPane(nColumn)) SetFocus(hPane);
}

void CMainFrame::OnContextMenu(HWND hWnd, POINT pt) {
    // The active pane is the view that was clicked: a click activates its view.
    const int nColumn = m_wndSplitter.GetActiveColumn();
    if (nColumn == kCoColumn && m_pCoView) {
        m_pCoView->ShowContextMenu(hWnd, pt);
    } else if (nColumn == kExtColumn && m_pExtView) {
        m_pExtView->ShowContextMenu(hWnd, pt);
    } else if (nColumn == kEtcColumn && m_pEtcView) {
        m_pEtcView->ShowContextMenu(hWnd, pt);
    }
}

BOOL CMainFrame::RouteCommand(UINT nId) {
    if (CLineView* pView = GetActiveView()) {
        if (pView->OnCommand(nId)) return TRUE;
    }
    switch (nId) {
        case ID_NEXT_PANE:
        case ID_PREV_PANE:
            ActivateNextPane(nId == ID_PREV_PANE);
            return TRUE;
        default:
            break;
    }
    return m_pApp != nullptr && m_pApp->OnCommand(nId);
}

LRESULT CMainFrame::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
        case WM_CREATE:
            return OnCreateClient() ? 0 : -1;
        case WM_SIZE:
            if (m_wndSplitter.GetHwnd() != nullptr) {
                MoveWindow(m_wndSplitter.GetHwnd(), 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            }
            return 0;
        case WM_SETFOCUS:
            // The frame itself takes no input: the active view does.
            if (CLineView* pView = GetActiveView()) SetFocus(pView->GetHwnd());
            return 0;
        case WM_COMMAND:
            // Notifications from controls are not commands.
            if (lParam == 0 && RouteCommand(LOWORD(wParam))) return 0;
            break;
        case WM_CONTEXTMENU: {
            POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            OnContextMenu(reinterpret_cast<HWND>(wParam), pt);
            return 0;
        }
        case WM_CLOSE:
            // As File > Exit, so a close during a start-up waits for it to stop.
            if (m_pApp != nullptr) {
                m_pApp->OnCommand(ID_APP_EXIT);
                return 0;
            }
            break;
        case WM_QUERYENDSESSION:
            if (m_pApp != nullptr) m_pApp->OnQueryEndSession();
            return TRUE;
        case WM_ENDSESSION:
            // The process may be ended as soon as this returns: close the
            // lines and shut TAPI down now.
            if (wParam != FALSE && m_pApp != nullptr) m_pApp->OnCommand(ID_APP_EXIT);
            return 0;
        case WM_DPICHANGED: {
            // Take the size the system suggests for the new resolution.
            const RECT* pRect = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(m_hWnd, nullptr, pRect->left, pRect->top, pRect->right - pRect->left,
                         pRect->bottom - pRect->top, SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_DESTROY:
            if (GetMainWindow() == m_hWnd) SetMainWindow(nullptr);
            break;
        default:
            break;
    }
    return Default(uMsg, wParam, lParam);
}
