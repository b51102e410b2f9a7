#include "app/MainFrame.h"

#include <algorithm>
#include <cctype>

#include "app/LinoscopeApp.h"
#include "monitor/LinoscopeDoc.h"
#include "monitor/TapiMonitor.h"
#include "presentation/EventLogWriter.h"
#include "views/win/Dialogs.h"
#include "views/win/InitProgressDlg.h"
#include "views/win/Settings.h"
#include "views/win/resource.h"

namespace {

constexpr char kFrameClass[] = "Linoscope3Frame";
// Child id of the splitter; the views are numbered from it inside the splitter.
constexpr UINT kSplitterId = 59648;
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

constexpr DWORD kTreeStyles = TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS;

constexpr UINT_PTR kRefreshTimer = 1;
// Once a second the event log's waiting records are tried again (no new
// record may come for a while) and the status bar looks again: the log's
// state changes without an event when another program lets the file go.
constexpr UINT_PTR kStatusTimer = 2;
constexpr UINT kStatusIntervalMs = 1000;

// Status bar parts: their right edges in pixels; the last one takes the rest.
constexpr int kStatusEdges[] = {230, 330, 470, -1};
constexpr int kStatusParts = 4;

bool ContainsNoCase(const std::string& strText, const std::string& strPart) {
    const auto it = std::search(strText.begin(), strText.end(), strPart.begin(), strPart.end(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    });
    return it != strText.end();
}

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

    m_hStatusBar =
        CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, m_hWnd,
                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IDC_STATUS_BAR)), m_hInstance, nullptr);
    if (m_hStatusBar != nullptr) {
        SendMessageA(m_hStatusBar, SB_SETPARTS, kStatusParts, reinterpret_cast<LPARAM>(kStatusEdges));
    }
    SetTimer(m_hWnd, kStatusTimer, kStatusIntervalMs, nullptr);
    return TRUE;
}

void CMainFrame::LayoutClient(int nWidth, int nHeight) {
    int nStatusHeight = 0;
    if (m_hStatusBar != nullptr) {
        SendMessageA(m_hStatusBar, WM_SIZE, 0, 0);
        RECT rcStatus{};
        GetWindowRect(m_hStatusBar, &rcStatus);
        nStatusHeight = rcStatus.bottom - rcStatus.top;
    }
    if (m_wndSplitter.GetHwnd() != nullptr) {
        MoveWindow(m_wndSplitter.GetHwnd(), 0, 0, nWidth, std::max(0, nHeight - nStatusHeight), TRUE);
    }
}

void CMainFrame::InitialUpdateFrame() {
    ++m_nTreeGeneration;
    CLineView* views[] = {m_pCoView.get(), m_pExtView.get(), m_pEtcView.get()};
    for (CLineView* pView : views) {
        if (pView != nullptr && pView->GetHwnd() != nullptr) pView->OnInitialUpdate();
    }
}

void CMainFrame::UpdateAllViews() {
    ++m_nEventCount;
    if (m_hWnd == nullptr) return;
    if (m_bRefreshTimerRunning) {
        // Shown with whatever else arrives before the interval ends.
        m_bRefreshDue = TRUE;
        return;
    }
    // The first event after a quiet spell is shown at once.
    RefreshViews();
    m_bRefreshTimerRunning = TRUE;
    SetTimer(m_hWnd, kRefreshTimer, kRefreshIntervalMs, nullptr);
}

void CMainFrame::OnRefreshTimer() {
    if (m_bRefreshDue) {
        m_bRefreshDue = FALSE;
        RefreshViews();
        return;
    }
    // A whole interval without events: the next one is shown at once again.
    KillTimer(m_hWnd, kRefreshTimer);
    m_bRefreshTimerRunning = FALSE;
}

void CMainFrame::RefreshIfDue() {
    if (!m_bRefreshDue) return;
    m_bRefreshDue = FALSE;
    RefreshViews();
}

void CMainFrame::RefreshViews() {
    CLineView* views[] = {m_pCoView.get(), m_pExtView.get(), m_pEtcView.get()};
    for (CLineView* pView : views) {
        if (pView != nullptr) pView->OnUpdate();
    }
    UpdateStatusBar();
}

void CMainFrame::SetFollowEvents(BOOL bFollow) {
    m_bFollowEvents = bFollow;
    CLineView* views[] = {m_pCoView.get(), m_pExtView.get(), m_pEtcView.get()};
    for (CLineView* pView : views) {
        if (pView != nullptr) pView->GetTreeCtrl().SetFollowEvents(bFollow != FALSE);
    }
    if (HMENU hMenu = GetMenu(m_hWnd)) {
        CheckMenuItem(hMenu, ID_VIEW_FOLLOW_EVENTS, MF_BYCOMMAND | (bFollow ? MF_CHECKED : MF_UNCHECKED));
    }
}

std::string CMainFrame::DescribeEventLog(const CTapiMonitor& monitor) {
    const std::size_t nWaiting = monitor.GetLogWriter() ? monitor.GetLogWriter()->GetWaitingCount() : 0;
    if (nWaiting > 0) return "held by another program: " + std::to_string(nWaiting) + " records waiting";
    return monitor.GetLogFile();
}

std::string CMainFrame::GetStatusText(int nPart) const {
    const CLinoscopeDoc* pDoc = GetActiveDocument();
    const CTapiMonitor* pMonitor = pDoc != nullptr ? pDoc->m_pMonitor.get() : nullptr;
    switch (nPart) {
        case 0:
            if (pMonitor == nullptr) return "No lines";
            return "CO " + std::to_string(pMonitor->GetShownLineCount(ELineGroup::Co)) + "   EXT " +
                   std::to_string(pMonitor->GetShownLineCount(ELineGroup::Ext)) + "   ETC " +
                   std::to_string(pMonitor->GetShownLineCount(ELineGroup::Etc));
        case 1: {
            const size_t nCalls = pMonitor == nullptr ? 0 : pMonitor->GetShownCallCount();
            return "Calls " + std::to_string(nCalls);
        }
        case 2:
            return "Events " + std::to_string(m_nEventCount);
        case 3:
            return pMonitor == nullptr ? std::string() : "Log " + DescribeEventLog(*pMonitor);
        default:
            return std::string();
    }
}

void CMainFrame::UpdateStatusBar() {
    if (m_hStatusBar == nullptr) return;
    for (int nPart = 0; nPart < kStatusParts; ++nPart) {
        const std::string strText = GetStatusText(nPart);
        char szOld[512] = "";
        const LRESULT nLength = SendMessageA(m_hStatusBar, SB_GETTEXTLENGTHA, static_cast<WPARAM>(nPart), 0);
        if (LOWORD(nLength) < sizeof szOld) {
            SendMessageA(m_hStatusBar, SB_GETTEXTA, static_cast<WPARAM>(nPart), reinterpret_cast<LPARAM>(szOld));
            if (strText == szOld) continue;  // no repaint when nothing changed
        }
        SendMessageA(m_hStatusBar, SB_SETTEXTA, static_cast<WPARAM>(nPart), reinterpret_cast<LPARAM>(strText.c_str()));
    }
}

BOOL CMainFrame::FindLine(const std::string& strText) {
    if (strText.empty()) return FALSE;
    // Every line of the three trees, pane by pane, with where it is.
    struct SLine {
        CLineView* pView;
        int nColumn;
        HTREEITEM hItem;
    };
    std::vector<SLine> lines;
    size_t nStart = 0;
    bool bStartFound = false;
    const int nActive = m_wndSplitter.GetActiveColumn();
    for (int nColumn = kCoColumn; nColumn <= kEtcColumn; ++nColumn) {
        CLineView* pView = GetViewOfColumn(nColumn);
        if (pView == nullptr || pView->GetHwnd() == nullptr) continue;
        CDeferredTreeCtrl& tree = pView->GetTreeCtrl();
        // The selection's line: the selected item, or the line above a call
        // or a detail.
        HTREEITEM hSelectedLine = nullptr;
        if (nColumn == nActive) {
            HTREEITEM hRoot = tree.GetRootItem();
            for (HTREEITEM h = tree.GetSelectedItem(); h != nullptr && h != hRoot; h = tree.GetParentItem(h)) {
                if (tree.GetParentItem(h) == hRoot) {
                    hSelectedLine = h;
                    break;
                }
            }
            // Nothing selected in the active pane: start at its first line.
            if (hSelectedLine == nullptr && !bStartFound) {
                nStart = lines.size();
                bStartFound = true;
            }
        }
        for (HTREEITEM h = tree.GetChildItem(tree.GetRootItem()); h != nullptr; h = tree.GetNextSiblingItem(h)) {
            lines.push_back({pView, nColumn, h});
            if (h == hSelectedLine) {
                nStart = lines.size();  // the line after the selected one
                bStartFound = true;
            }
        }
    }
    // Round the end and back to the selected line itself, which is found
    // again when it is the only match.
    for (size_t i = 0; i < lines.size(); ++i) {
        const SLine& line = lines[(nStart + i) % lines.size()];
        CDeferredTreeCtrl& tree = line.pView->GetTreeCtrl();
        if (!ContainsNoCase(tree.GetItemText(line.hItem), strText)) continue;
        HWND hTree = line.pView->GetHwnd();
        tree.SelectItem(line.hItem);
        // The user asked for it: shown whether or not events are followed.
        SendMessageA(hTree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(tree.ShownItem(line.hItem)));
        m_wndSplitter.SetActiveColumn(line.nColumn);
        SetFocus(hTree);
        return TRUE;
    }
    return FALSE;
}

void CMainFrame::OnFind() {
    CFindDlg dlg;
    dlg.m_strFindText = m_strFindText;
    if (dlg.DoModal() != IDOK) return;
    m_strFindText = dlg.m_strFindText;
    OnFindNext();
}

void CMainFrame::OnFindNext() {
    if (m_strFindText.empty()) {
        OnFind();
        return;
    }
    if (!FindLine(m_strFindText)) MessageBeep(MB_ICONASTERISK);
}

BOOL CMainFrame::BuildLineReports(std::string& strText) {
    CTapiMonitor* pMonitor = m_pDocument != nullptr ? m_pDocument->m_pMonitor.get() : nullptr;
    if (pMonitor == nullptr || m_pApp == nullptr) return FALSE;
    struct SGroup {
        CLineView* pView;
        void (CTapiMonitor::*pfnShow)(HTREEITEM);
    };
    const SGroup groups[] = {{m_pExtView.get(), &CTapiMonitor::ShowExtLineInfo},
                             {m_pCoView.get(), &CTapiMonitor::ShowCoLineInfo},
                             {m_pEtcView.get(), &CTapiMonitor::ShowEtcLineInfo}};
    struct SLine {
        const SGroup* pGroup;
        HTREEITEM hItem;
        std::string strLabel;
    };
    std::vector<SLine> lines;
    for (const SGroup& group : groups) {
        if (group.pView == nullptr) continue;
        CDeferredTreeCtrl& tree = group.pView->GetTreeCtrl();
        for (HTREEITEM h = tree.GetChildItem(tree.GetRootItem()); h != nullptr; h = tree.GetNextSiblingItem(h)) {
            lines.push_back({&group, h, tree.GetItemText(h)});
        }
    }

    const unsigned nGeneration = m_nTreeGeneration;
    std::unique_ptr<CInitProgressDlg> pProgress = std::make_unique<CInitProgressDlg>(0);
    pProgress->Open(m_hWnd);
    pProgress->SetRange(0, 100);
    pProgress->SetMessage("Saving line reports");
    std::string strAll;
    BOOL bDone = TRUE;
    for (size_t i = 0; i < lines.size(); ++i) {
        pProgress->SetPosition(static_cast<int>(i * 100 / lines.size()));
        const BOOL bCancelled = pProgress->IsCancelPressed();
        // Messages ran: a restart may have replaced the monitor and its
        // trees, and the items gathered above are gone with them.
        if (bCancelled || m_nTreeGeneration != nGeneration || m_pDocument->m_pMonitor.get() != pMonitor) {
            bDone = FALSE;
            break;
        }
        // The monitor hands its report to the application, which keeps it
        // here instead of showing it.
        std::string strReport;
        m_pApp->CaptureInformation(&strReport);
        (pMonitor->*(lines[i].pGroup->pfnShow))(lines[i].hItem);
        m_pApp->CaptureInformation(nullptr);
        strAll += "==== " + lines[i].strLabel + " ====\r\n";
        strAll += strReport;
        strAll += "\r\n";
    }
    if (bDone) pProgress->SetPosition(100);
    pProgress->DestroyWindow();
    if (bDone) strText = std::move(strAll);
    return bDone;
}

void CMainFrame::OnSaveLineReports() {
    std::string strPath;
    if (!AskSavePath(m_hWnd, "Line reports " + FileTimeStamp() + ".txt", strPath)) return;
    std::string strText;
    if (!BuildLineReports(strText)) return;
    if (!WriteTextFile(strPath, strText)) {
        MessageBoxA(m_hWnd, ("Could not write " + strPath).c_str(), "Linoscope3", MB_OK | MB_ICONEXCLAMATION);
    }
}

void CMainFrame::SavePlacement() {
    if (m_hWnd == nullptr) return;
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (!GetWindowPlacement(m_hWnd, &placement)) return;
    const RECT& rc = placement.rcNormalPosition;
    settings::WriteInt("Left", rc.left);
    settings::WriteInt("Top", rc.top);
    settings::WriteInt("Right", rc.right);
    settings::WriteInt("Bottom", rc.bottom);
    settings::WriteInt("Maximized",
                       placement.showCmd == SW_SHOWMAXIMIZED ||
                           (placement.showCmd == SW_SHOWMINIMIZED && (placement.flags & WPF_RESTORETOMAXIMIZED) != 0));
    settings::WriteInt("PaneCO", m_wndSplitter.GetColumnWidth(kCoColumn));
    settings::WriteInt("PaneEXT", m_wndSplitter.GetColumnWidth(kExtColumn));
}

void CMainFrame::RestorePlacement() {
    if (m_hWnd == nullptr) return;
    int nLeft = 0, nTop = 0, nRight = 0, nBottom = 0;
    if (settings::ReadInt("Left", nLeft) && settings::ReadInt("Top", nTop) && settings::ReadInt("Right", nRight) &&
        settings::ReadInt("Bottom", nBottom) && nRight > nLeft && nBottom > nTop) {
        RECT rc{nLeft, nTop, nRight, nBottom};
        // Where the window was, when that is on a screen now; else the same
        // size (as far as it fits) on the nearest screen.
        MONITORINFO monitor{};
        monitor.cbSize = sizeof monitor;
        HMONITOR hOn = MonitorFromRect(&rc, MONITOR_DEFAULTTONULL);
        RECT rcTitle = rc;
        rcTitle.bottom = rcTitle.top + GetSystemMetrics(SM_CYCAPTION);
        if (hOn == nullptr || MonitorFromRect(&rcTitle, MONITOR_DEFAULTTONULL) == nullptr) {
            GetMonitorInfoA(MonitorFromRect(&rc, MONITOR_DEFAULTTONEAREST), &monitor);
            const RECT& rcWork = monitor.rcWork;
            const LONG nWidth = std::min(rc.right - rc.left, rcWork.right - rcWork.left);
            const LONG nHeight = std::min(rc.bottom - rc.top, rcWork.bottom - rcWork.top);
            rc.left = rcWork.left + (rcWork.right - rcWork.left - nWidth) / 2;
            rc.top = rcWork.top + (rcWork.bottom - rcWork.top - nHeight) / 2;
            rc.right = rc.left + nWidth;
            rc.bottom = rc.top + nHeight;
        }
        WINDOWPLACEMENT placement{};
        placement.length = sizeof placement;
        GetWindowPlacement(m_hWnd, &placement);
        placement.showCmd = SW_HIDE;
        placement.rcNormalPosition = rc;
        SetWindowPlacement(m_hWnd, &placement);
    }
    int nMaximized = 0;
    if (settings::ReadInt("Maximized", nMaximized) && nMaximized != 0) m_nInitialShow = SW_SHOWMAXIMIZED;
    int nWidth = 0;
    if (settings::ReadInt("PaneCO", nWidth) && nWidth >= 0) m_wndSplitter.SetColumnWidth(kCoColumn, nWidth);
    if (settings::ReadInt("PaneEXT", nWidth) && nWidth >= 0) m_wndSplitter.SetColumnWidth(kExtColumn, nWidth);
}

CLinoscopeDoc* CMainFrame::GetActiveDocument() const {
    return m_hWnd != nullptr ? m_pDocument : nullptr;
}

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
        case ID_VIEW_FOLLOW_EVENTS:
            SetFollowEvents(!m_bFollowEvents);
            return TRUE;
        case ID_EDIT_FIND:
            OnFind();
            return TRUE;
        case ID_EDIT_REPEAT:
            OnFindNext();
            return TRUE;
        case ID_FILE_SAVE_REPORTS:
            OnSaveLineReports();
            return TRUE;
        default:
            break;
    }
    return m_pApp != nullptr && m_pApp->OnCommand(nId);
}

LRESULT CMainFrame::WindowProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
        case WM_CREATE:
            if (!OnCreateClient()) return -1;
            return 0;
        case WM_SIZE:
            LayoutClient(LOWORD(lParam), HIWORD(lParam));
            return 0;
        case WM_TIMER:
            if (wParam == kRefreshTimer) {
                OnRefreshTimer();
                return 0;
            }
            if (wParam == kStatusTimer) {
                if (m_pDocument != nullptr) m_pDocument->m_pEventLog->Flush();
                UpdateStatusBar();
                return 0;
            }
            break;
        case WM_SETFOCUS:
            // The frame itself takes no input: the active view does.
            if (CLineView* pView = GetActiveView()) SetFocus(pView->GetHwnd());
            return 0;
        case WM_COMMAND:
            // Notifications from controls are not commands.
            if (lParam == 0 && RouteCommand(LOWORD(wParam))) return 0;
            break;
        case WM_NOTIFY: {
            const auto* pHeader = reinterpret_cast<const NMHDR*>(lParam);
            CLineView* views[] = {m_pCoView.get(), m_pExtView.get(), m_pEtcView.get()};
            for (CLineView* pView : views) {
                if (pView != nullptr && pView->GetHwnd() == pHeader->hwndFrom) return pView->OnNotify(*pHeader);
            }
            break;
        }
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
            SavePlacement();
            KillTimer(m_hWnd, kRefreshTimer);
            KillTimer(m_hWnd, kStatusTimer);
            m_bRefreshTimerRunning = FALSE;
            m_bRefreshDue = FALSE;
            if (GetMainWindow() == m_hWnd) SetMainWindow(nullptr);
            break;
        default:
            break;
    }
    return Default(uMsg, wParam, lParam);
}
