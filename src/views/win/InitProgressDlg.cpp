#include "views/win/InitProgressDlg.h"

#include "views/win/resource.h"

CInitProgressDlg::CInitProgressDlg(UINT nTitleId) : CDialogBox(IDD_INIT_PROGRESS) {
    m_nTitleID = nTitleId != 0 ? nTitleId : IDS_PROGRESS_CAPTION;
}

CInitProgressDlg::~CInitProgressDlg() {
    // Deleting an open dialog also gives the owner back its input.
    if (m_hWnd != nullptr || m_bOwnerDisabled) DestroyWindow();
}

BOOL CInitProgressDlg::Open(HWND hParent) {
    if (hParent != nullptr) {
        HWND hTop = GetAncestor(hParent, GA_ROOT);
        m_hOwner = hTop != nullptr ? GetLastActivePopup(hTop) : nullptr;
    } else {
        HWND hMain = GetMainWindow();
        m_hOwner = hMain != nullptr ? GetLastActivePopup(hMain) : nullptr;
    }
    if (m_hOwner != nullptr && IsWindowEnabled(m_hOwner)) {
        EnableWindow(m_hOwner, FALSE);
        m_bOwnerDisabled = TRUE;
    }
    if (!CreateModeless(hParent)) {
        EnableOwner();
        return FALSE;
    }
    return TRUE;
}

BOOL CInitProgressDlg::OnInitDialog() {
    m_ctlProgress = GetItem(IDC_PROGRESS_BAR);
    SendMessageA(m_ctlProgress, PBM_SETRANGE, 0, MAKELPARAM(m_model.GetRangeLow(), m_model.GetRangeHigh()));
    SendMessageA(m_ctlProgress, PBM_SETPOS, static_cast<WPARAM>(m_model.GetRangeLow()), 0);
    char szTitle[256] = "";
    if (LoadStringA(GetModuleHandleA(nullptr), m_nTitleID, szTitle, sizeof szTitle) > 0) {
        SetWindowTextA(m_hWnd, szTitle);
    }
    return TRUE;
}

void CInitProgressDlg::SetRange(int nLow, int nHigh) {
    m_model.SetRange(nLow, nHigh);
    if (m_ctlProgress != nullptr) SendMessageA(m_ctlProgress, PBM_SETRANGE, 0, MAKELPARAM(nLow, nHigh));
}

void CInitProgressDlg::SetMessage(const std::string& strText) {
    if (m_hWnd != nullptr) SetDlgItemTextA(m_hWnd, IDC_PROGRESS_MESSAGE, strText.c_str());
}

int CInitProgressDlg::SetPosition(int nPos) {
    ProcessPendingMessages();
    int nPrevious = m_model.GetPosition();
    if (m_hWnd != nullptr && m_ctlProgress != nullptr) {
        nPrevious = static_cast<int>(SendMessageA(m_ctlProgress, PBM_SETPOS, static_cast<WPARAM>(nPos), 0));
    }
    m_model.SetPosition(nPos);
    RefreshPercent(nPos);
    return nPrevious;
}

BOOL CInitProgressDlg::IsCancelPressed() {
    ProcessPendingMessages();
    return m_model.TakeCancel();
}

void CInitProgressDlg::ProcessPendingMessages() {
    // A busy PBX keeps the queue from ever running dry: the dialog is painted
    // here (the system would paint it only then), the user's keys and clicks
    // go first, and the pump hands back after a short while whatever waits.
    if (m_hWnd != nullptr) RedrawWindow(m_hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    const ULONGLONG qwUntil = GetTickCount64() + kPumpBudgetMs;
    MSG msg;
    while (GetTickCount64() < qwUntil && (PeekMessageA(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE) ||
                                          PeekMessageA(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE) ||
                                          PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))) {
        if (msg.message == WM_QUIT) {
            // Not ours to take: leave it for the loop that owns the thread.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (m_hWnd != nullptr && (msg.hwnd == m_hWnd || IsChild(m_hWnd, msg.hwnd))) {
            // Enter does nothing here: the only button is Cancel, and a
            // stray Enter must not stop the start-up.
            bool bEnter = (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP || msg.message == WM_CHAR) &&
                          (msg.wParam == VK_RETURN || (msg.message == WM_CHAR && msg.wParam == '\r'));
            if (bEnter) continue;
            if (IsDialogMessageA(m_hWnd, &msg)) continue;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void CInitProgressDlg::RefreshPercent(int nPos) {
    if (m_hWnd == nullptr) return;
    std::string strText = CProgressModel::PercentText(nPos, m_model.GetRangeLow(), m_model.GetRangeHigh());
    HWND hPercent = GetItem(IDC_PROGRESS_PERCENT);
    // No repaint when nothing changed.
    if (GetWindowTextString(hPercent) != strText) SetWindowTextA(hPercent, strText.c_str());
}

void CInitProgressDlg::OnOK() {
    // There is no OK button; an IDOK command must not close the dialog.
}

void CInitProgressDlg::OnCancel() {
    // Only noted: the start-up sequence stops at its next query.
    m_model.PressCancel();
}

void CInitProgressDlg::EnableOwner() {
    if (m_bOwnerDisabled && m_hOwner != nullptr && IsWindow(m_hOwner)) EnableWindow(m_hOwner, TRUE);
    m_bOwnerDisabled = FALSE;
}

void CInitProgressDlg::DestroyWindow() {
    EnableOwner();
    if (m_hWnd != nullptr) {
        HWND hWnd = m_hWnd;
        ::DestroyWindow(hWnd);
    }
    m_ctlProgress = nullptr;
}
