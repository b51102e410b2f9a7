#include "views/win/LineView.h"

#include <algorithm>

#include "monitor/LinoscopeDoc.h"
#include "monitor/MonitorApp.h"
#include "monitor/TapiMonitor.h"
#include "views/win/Dialogs.h"
#include "views/win/resource.h"

// --- CLineView -----------------------------------------------------------------

BOOL CLineView::Create(HINSTANCE hInstance, HWND hParent, UINT nId, CViewHost* pHost) {
    m_pHost = pHost;
    if (!CreateSubclassed(hInstance, WC_TREEVIEWA, WS_CHILD | WS_VISIBLE | WS_BORDER, 0, hParent, nId)) {
        return FALSE;
    }
    m_control.SetHwnd(m_hWnd);
    return TRUE;
}

CLinoscopeDoc* CLineView::GetDocument() const {
    return m_pHost != nullptr ? m_pHost->GetDocument() : nullptr;
}

CTapiMonitor* CLineView::GetMonitor() const {
    CLinoscopeDoc* pDoc = GetDocument();
    return pDoc != nullptr ? pDoc->m_pMonitor.get() : nullptr;
}

void CLineView::ScheduleRefresh() {
    if (m_bRefreshPosted || m_hWnd == nullptr) return;
    m_bRefreshPosted = PostMessageA(m_hWnd, kRefresh, 0, 0) != FALSE;
}

void CLineView::RefreshWhenDue() {
    if (!m_tree.HasChanges() || m_hWnd == nullptr) return;
    const ULONGLONG qwGap = std::max<ULONGLONG>(kMinRefreshGapMs, 2ULL * m_dwRefreshMs);
    const ULONGLONG qwSince = GetTickCount64() - m_qwLastRefresh;
    if (qwSince >= qwGap || SetTimer(m_hWnd, kRefreshTimer, static_cast<UINT>(qwGap - qwSince), nullptr) == 0) {
        Refresh();
    }
}

void CLineView::Refresh() {
    // The net effect of the changes since the last refresh goes to the
    // control in one run, laid out and painted once; an unchanged tree is
    // left alone. Every paint covers the whole client area (OnPaint), so
    // nothing needs erasing first, which would only make the tree flicker.
    if (!m_tree.HasChanges()) return;
    const ULONGLONG qwStart = GetTickCount64();
    m_tree.Flush();
    m_control.EndChanges();
    m_qwLastRefresh = GetTickCount64();
    m_dwRefreshMs = static_cast<DWORD>(std::min<ULONGLONG>(m_qwLastRefresh - qwStart, 1000));
}

void CLineView::OnPaint() {
    // The control draws its items over what is there and leaves the rest of
    // the area to be erased. Items move all the time under a stream of
    // events (calls come and go, the tree scrolls to the line of each), and
    // any part of an invalid area that was not erased kept stale text. So
    // the control paints all of its client area, background first, into an
    // off-screen picture, and the whole picture goes to the screen at once:
    // no stale pixels whatever the order of changes, and no flicker.
    PAINTSTRUCT ps;
    HDC hPaintDC = BeginPaint(m_hWnd, &ps);
    RECT rc{};
    GetClientRect(m_hWnd, &rc);
    if (hPaintDC != nullptr && rc.right > 0 && rc.bottom > 0) {
        HDC hMemDC = CreateCompatibleDC(hPaintDC);
        HBITMAP hBitmap = hMemDC != nullptr ? CreateCompatibleBitmap(hPaintDC, rc.right, rc.bottom) : nullptr;
        if (hBitmap != nullptr) {
            HGDIOBJ hOld = SelectObject(hMemDC, hBitmap);
            Default(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(hMemDC), PRF_CLIENT | PRF_ERASEBKGND);
            // Not only the invalid area: the whole client area is made right.
            HDC hClientDC = GetDC(m_hWnd);
            BitBlt(hClientDC != nullptr ? hClientDC : hPaintDC, 0, 0, rc.right, rc.bottom, hMemDC, 0, 0, SRCCOPY);
            if (hClientDC != nullptr) ReleaseDC(m_hWnd, hClientDC);
            SelectObject(hMemDC, hOld);
            DeleteObject(hBitmap);
        } else {
            // No memory for the picture: the control paints straight to the
            // screen, background included.
            Default(WM_PRINTCLIENT, reinterpret_cast<WPARAM>(hPaintDC), PRF_CLIENT | PRF_ERASEBKGND);
        }
        if (hMemDC != nullptr) DeleteDC(hMemDC);
    }
    EndPaint(m_hWnd, &ps);
}

void CLineView::OnInitialUpdate() {
    if (m_hWnd != nullptr) InvalidateRect(m_hWnd, nullptr, FALSE);
    ClearTree();
    CTapiMonitor* pMonitor = GetMonitor();
    if (pMonitor == nullptr) return;
    RegisterTree(*pMonitor, &m_tree);
    // Filling opens the group's root whether or not events are followed.
    const bool bFollow = m_tree.GetFollowEvents();
    m_tree.SetFollowEvents(true);
    FillTree(*pMonitor);
    m_tree.SetFollowEvents(bFollow);
    // A new tree is shown at once, not at the next refresh.
    Refresh();
}

void CLineView::ClearTree() {
    if (CTapiMonitor* pMonitor = GetMonitor()) ClearCalls(*pMonitor);
    if (m_tree.GetCount() > 0) m_tree.DeleteItem(TVI_ROOT);
}

void CLineView::OnDestroy() {
    // The monitor outlives the views: empty its call table and the tree now.
    ClearTree();
    // The control is going away; the monitor may still hold this tree until
    // its next registration, and must find it inert rather than pointing at a
    // window handle that the system may hand out again.
    m_tree.Flush();
    m_control.SetHwnd(nullptr);
}

void CLineView::OnRButtonDown(WPARAM wParam, LPARAM lParam) {
    int x = static_cast<short>(LOWORD(lParam));
    int y = static_cast<short>(HIWORD(lParam));
    HTREEITEM hItem = m_tree.HitTest(x, y);
    if (hItem != nullptr) m_tree.SelectItem(hItem);
    // A click activates the view it falls in; the menu follows the active view.
    if (GetFocus() != m_hWnd) SetFocus(m_hWnd);
    if (m_pHost != nullptr) m_pHost->OnViewActivated(this);
    // The control's own handling raises WM_CONTEXTMENU when the button is
    // released; the frame then asks this view for its menu.
    Default(WM_RBUTTONDOWN, wParam, lParam);
}

void CLineView::ShowContextMenu(HWND, POINT pt) {
    if (m_hWnd == nullptr) return;
    if (pt.x == -1 && pt.y == -1) {
        POINT corner{0, 0};
        ClientToScreen(m_hWnd, &corner);
        pt.x = corner.x + 5;
        pt.y = corner.y + 5;
    }
    HTREEITEM hSelected = m_tree.GetSelectedItem();
    HTREEITEM hRoot = m_tree.GetRootItem();
    if (hSelected == nullptr || hSelected == hRoot) return;
    HTREEITEM hParent = m_tree.GetParentItem(hSelected);
    UINT nMenuId = 0;
    if (hParent == hRoot) {
        nMenuId = GetLineMenuId();
    } else if (hParent != nullptr && m_tree.GetParentItem(hParent) == hRoot) {
        nMenuId = GetCallMenuId();
    } else {
        return;  // a detail item
    }
    HMENU hMenu = LoadMenuA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(nMenuId));
    if (hMenu == nullptr) return;
    HMENU hPopup = GetSubMenu(hMenu, 0);
    // The frame owns the menu: the chosen command goes there and on to the
    // active view, which is this one.
    HWND hOwner = GetAncestor(m_hWnd, GA_ROOT);
    if (hPopup != nullptr) TrackPopupMenu(hPopup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, pt.x, pt.y, 0, hOwner, nullptr);
    DestroyMenu(hMenu);
}

BOOL CLineView::OnCommand(UINT nId) {
    if (nId != ID_LINE_INFORMATION && nId != ID_CALL_INFORMATION) return FALSE;
    HTREEITEM hSelected = m_tree.GetSelectedItem();
    CTapiMonitor* pMonitor = GetMonitor();
    if (hSelected == nullptr || pMonitor == nullptr) return TRUE;
    if (nId == ID_LINE_INFORMATION) {
        ShowLineInfo(*pMonitor, hSelected);
    } else {
        ShowCallInfo(*pMonitor, hSelected);
    }
    return TRUE;
}

LRESULT CLineView::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg == kRefresh) {
        m_bRefreshPosted = false;
        RefreshWhenDue();
        return 0;
    }
    if (uMsg == WM_TIMER && wParam == kRefreshTimer) {
        KillTimer(m_hWnd, wParam);
        Refresh();
        return 0;
    }
    switch (uMsg) {
        case WM_RBUTTONDOWN:
            OnRButtonDown(wParam, lParam);
            return 0;
        case WM_SETFOCUS:
            if (m_pHost != nullptr) m_pHost->OnViewActivated(this);
            break;
        case WM_DESTROY:
            OnDestroy();
            break;
        case WM_ERASEBKGND:
            return 1;  // OnPaint paints the background with everything else
        case WM_PAINT:
            if (wParam == 0) {
                OnPaint();
                return 0;
            }
            break;
        default:
            break;
    }
    return Default(uMsg, wParam, lParam);
}

// --- CCoView -------------------------------------------------------------------

void CCoView::OnInitialUpdate() {
    CLinoscopeDoc* pDoc = GetDocument();
    if (pDoc != nullptr && pDoc->m_bInitFailed) {
        // Asked once per failed start-up; the answer is posted, so the tree
        // below is filled before the restart or the close runs.
        pDoc->m_bInitFailed = FALSE;
        if (CMonitorApp* pApp = GetMonitorApp()) {
            BOOL bRetry = pApp->AskYesNo("Tapi Initizlize Error.\nRetry?");
            pApp->PostCommand(bRetry ? ID_FILE_NEW : ID_FILE_CLOSE);
        }
    }
    CLineView::OnInitialUpdate();
}

UINT CCoView::GetLineMenuId() const {
    return IDM_CO_LINE;
}
UINT CCoView::GetCallMenuId() const {
    return IDM_CO_CALL;
}
void CCoView::ClearCalls(CTapiMonitor& monitor) {
    monitor.ClearCoCalls();
}
void CCoView::RegisterTree(CTapiMonitor& monitor, CTreeCtrl* pTree) {
    monitor.SetCoTree(pTree);
}
void CCoView::FillTree(CTapiMonitor& monitor) {
    monitor.FillCoTree();
}
void CCoView::ShowLineInfo(CTapiMonitor& monitor, HTREEITEM hItem) {
    monitor.ShowCoLineInfo(hItem);
}
void CCoView::ShowCallInfo(CTapiMonitor& monitor, HTREEITEM hItem) {
    monitor.ShowCoCallInfo(hItem);
}

// --- CExtView ------------------------------------------------------------------

BOOL CExtView::OnCommand(UINT nId) {
    switch (nId) {
        case ID_MAKECALL: {
            CDialDlg dlg;
            if (dlg.DoModal() != IDOK) return TRUE;
            HTREEITEM hSelected = m_tree.GetSelectedItem();
            CTapiMonitor* pMonitor = GetMonitor();
            if (hSelected != nullptr && pMonitor != nullptr) pMonitor->MakeCall(hSelected, dlg.m_strDialNumber);
            return TRUE;
        }
        case ID_ANSWER:
        case ID_DROP: {
            HTREEITEM hSelected = m_tree.GetSelectedItem();
            CTapiMonitor* pMonitor = GetMonitor();
            if (hSelected == nullptr || pMonitor == nullptr) return TRUE;
            if (nId == ID_ANSWER) {
                pMonitor->Answer(hSelected);
            } else {
                pMonitor->Drop(hSelected);
            }
            return TRUE;
        }
        default:
            return CLineView::OnCommand(nId);
    }
}

UINT CExtView::GetLineMenuId() const {
    return IDM_EXT_LINE;
}
UINT CExtView::GetCallMenuId() const {
    return IDM_EXT_CALL;
}
void CExtView::ClearCalls(CTapiMonitor& monitor) {
    monitor.ClearExtCalls();
}
void CExtView::RegisterTree(CTapiMonitor& monitor, CTreeCtrl* pTree) {
    monitor.SetExtTree(pTree);
}
void CExtView::FillTree(CTapiMonitor& monitor) {
    monitor.FillExtTree();
}
void CExtView::ShowLineInfo(CTapiMonitor& monitor, HTREEITEM hItem) {
    monitor.ShowExtLineInfo(hItem);
}
void CExtView::ShowCallInfo(CTapiMonitor& monitor, HTREEITEM hItem) {
    monitor.ShowExtCallInfo(hItem);
}

// --- CEtcView ------------------------------------------------------------------

UINT CEtcView::GetLineMenuId() const {
    return IDM_ETC_LINE;
}
UINT CEtcView::GetCallMenuId() const {
    return IDM_ETC_CALL;
}
void CEtcView::ClearCalls(CTapiMonitor& monitor) {
    monitor.ClearEtcCalls();
}
void CEtcView::RegisterTree(CTapiMonitor& monitor, CTreeCtrl* pTree) {
    monitor.SetEtcTree(pTree);
}
void CEtcView::FillTree(CTapiMonitor& monitor) {
    monitor.FillEtcTree();
}
void CEtcView::ShowLineInfo(CTapiMonitor& monitor, HTREEITEM hItem) {
    monitor.ShowEtcLineInfo(hItem);
}
void CEtcView::ShowCallInfo(CTapiMonitor& monitor, HTREEITEM hItem) {
    monitor.ShowEtcCallInfo(hItem);
}
