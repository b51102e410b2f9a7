#include "app/LinoscopeApp.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "monitor/LinoscopeDoc.h"
#include "views/win/Dialogs.h"
#include "views/win/InitProgressDlg.h"
#include "views/win/resource.h"

namespace {

constexpr DWORD kFixedFileInfoSignature = 0xFEEF04BD;

// The start-up's progress dialog, which also reads a close of the program
// asked for meanwhile as Cancel.
class CClosableProgressDlg : public CInitProgressDlg {
public:
    explicit CClosableProgressDlg(const BOOL& bCloseRequested) : m_bCloseRequested(bCloseRequested) {}
    BOOL IsCancelPressed() override { return CInitProgressDlg::IsCancelPressed() || m_bCloseRequested; }

private:
    const BOOL& m_bCloseRequested;
};

}  // namespace

CLinoscopeApp::CLinoscopeApp(HINSTANCE hInstance) : m_hInstance(hInstance) {
    m_bTapiStarting = FALSE;
}

CLinoscopeApp::~CLinoscopeApp() {
    CloseMainFrame();
    // The monitor may reach the application while it is destroyed.
    m_pDocument.reset();
    m_pMainFrame.reset();
    if (GetMonitorApp() == this) SetMonitorApp(nullptr);
}

std::string CLinoscopeApp::FormatProductVersion(const void* pBlock, std::size_t cbBlock) {
    // VS_VERSIONINFO: wLength, wValueLength, wType, the key, padding, then
    // the fixed file information when wValueLength is not 0.
    if (pBlock == nullptr || cbBlock < 6) return std::string();
    const auto* pBytes = static_cast<const BYTE*>(pBlock);
    WORD wValueLength = 0;
    std::memcpy(&wValueLength, pBytes + 2, sizeof wValueLength);
    if (wValueLength == 0) return std::string();
    for (std::size_t offset = 4; offset + sizeof(VS_FIXEDFILEINFO) <= cbBlock; offset += 4) {
        VS_FIXEDFILEINFO info;
        std::memcpy(&info, pBytes + offset, sizeof info);
        if (info.dwSignature != kFixedFileInfoSignature) continue;
        // All 16 bits of every part: a part above 255 must not lose its high byte.
        char szVersion[48];
        std::snprintf(szVersion, sizeof szVersion, "%d.%d.%d.%d", HIWORD(info.dwProductVersionMS),
                      LOWORD(info.dwProductVersionMS), HIWORD(info.dwProductVersionLS),
                      LOWORD(info.dwProductVersionLS));
        return szVersion;
    }
    return std::string();
}

std::string CLinoscopeApp::ReadProductVersion(HINSTANCE hInstance) {
    HRSRC hInfo = FindResourceA(hInstance, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16));  // RT_VERSION
    if (hInfo == nullptr) return std::string();
    HGLOBAL hData = LoadResource(hInstance, hInfo);
    const void* pBlock = hData != nullptr ? LockResource(hData) : nullptr;
    if (pBlock == nullptr) return std::string();
    return FormatProductVersion(pBlock, SizeofResource(hInstance, hInfo));
}

BOOL CLinoscopeApp::InitInstance() {
    INITCOMMONCONTROLSEX icc{sizeof(INITCOMMONCONTROLSEX), ICC_TREEVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    SetMonitorApp(this);

    m_strVersion = ReadProductVersion(m_hInstance);
    m_bTapiStarting = FALSE;

    // The document, then the frame with its views (hidden), then the start-up;
    // only then does the frame become the main window, so the progress dialog
    // of the first start has no owner to disable.
    m_pDocument = std::make_unique<CLinoscopeDoc>();
    m_pMainFrame = std::make_unique<CMainFrame>(this, m_pDocument.get());
    if (!m_pMainFrame->Create(m_hInstance)) {
        m_pMainFrame.reset();
        m_pDocument.reset();
        return FALSE;
    }
    m_pMainFrame->RestorePlacement();
    m_bInNewDocument = TRUE;
    m_pDocument->OnNewDocument();
    SetMainWindow(m_pMainFrame->GetHwnd());
    if (!m_bCloseRequested) m_pMainFrame->InitialUpdateFrame();
    m_bInNewDocument = FALSE;
    if (m_bCloseRequested) {
        CloseMainFrame();
        return TRUE;
    }

    ShowWindow(m_pMainFrame->GetHwnd(), m_pMainFrame->GetInitialShowCommand());
    UpdateWindow(m_pMainFrame->GetHwnd());
    if (m_nDeferredCommand != 0) PostCommand(std::exchange(m_nDeferredCommand, 0u));
    return TRUE;
}

int CLinoscopeApp::Run() {
    MSG msg{};
    while (NextMessage(&msg, TRUE) && msg.message != WM_QUIT) {
        if (PreTranslateMessage(&msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return msg.message == WM_QUIT ? static_cast<int>(msg.wParam) : -1;
}

BOOL CLinoscopeApp::NextMessage(MSG* pMsg, BOOL bWait) {
    const ULONGLONG qwNow = GetTickCount64();
    if (qwNow - m_qwLastChores >= kChoresIntervalMs) {
        m_qwLastChores = qwNow;
        // The due timers first (a few at most: one handled here is not due
        // again at once), so what they refresh is painted with the rest.
        for (int nTimers = 0; nTimers < 4 && PeekMessageA(pMsg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE); ++nTimers) {
            // A range filter may still hand out WM_QUIT: that is the loop's.
            if (pMsg->message != WM_TIMER) return TRUE;
            DispatchMessageA(pMsg);
        }
        HWND hFrame = m_pMainFrame != nullptr ? m_pMainFrame->GetHwnd() : nullptr;
        if (hFrame != nullptr) {
            m_pMainFrame->RefreshIfDue();
            RedrawWindow(hFrame, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        }
    }
    // Keys, clicks, and clicks on the frame's caption and borders.
    if (PeekMessageA(pMsg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE) ||
        PeekMessageA(pMsg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE) ||
        PeekMessageA(pMsg, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_REMOVE)) {
        return TRUE;
    }
    if (bWait) return GetMessageA(pMsg, nullptr, 0, 0) != -1;
    return PeekMessageA(pMsg, nullptr, 0, 0, PM_REMOVE);
}

BOOL CLinoscopeApp::PreTranslateMessage(MSG* pMsg) {
    // Accelerators are keys: nothing else needs the frame's window tree looked up.
    if (pMsg->message != WM_KEYDOWN && pMsg->message != WM_SYSKEYDOWN) return FALSE;
    if (m_pMainFrame == nullptr || m_pMainFrame->GetHwnd() == nullptr) return FALSE;
    HWND hFrame = m_pMainFrame->GetHwnd();
    if (pMsg->hwnd != hFrame && !IsChild(hFrame, pMsg->hwnd)) return FALSE;
    HACCEL hAccel = m_pMainFrame->GetAccelerators();
    return hAccel != nullptr && TranslateAcceleratorA(hFrame, hAccel, pMsg) != 0;
}

BOOL CLinoscopeApp::OnCommand(UINT nId) {
    switch (nId) {
        case ID_FILE_NEW:
            OnFileNew();
            return TRUE;
        case ID_FILE_CLOSE:
        case ID_APP_EXIT:
            if (m_bInNewDocument) {
                m_bCloseRequested = TRUE;
            } else {
                CloseMainFrame();
            }
            return TRUE;
        case ID_APP_ABOUT:
            OnAppAbout();
            return TRUE;
        default:
            return FALSE;
    }
}

void CLinoscopeApp::OnFileNew() {
    if (m_pDocument == nullptr || m_pMainFrame == nullptr || m_pMainFrame->GetHwnd() == nullptr) return;
    if (m_bInNewDocument) {
        // Deleting the monitor whose start-up is on the stack would pull the
        // tables out from under it: run the restart afterwards, unless the
        // program is to end by then.
        if (!m_bCloseRequested) m_nDeferredCommand = ID_FILE_NEW;
        return;
    }
    NewDocument();
}

void CLinoscopeApp::NewDocument() {
    m_bInNewDocument = TRUE;
    m_pDocument->OnNewDocument();
    if (!m_bCloseRequested && m_pMainFrame->GetHwnd() != nullptr) m_pMainFrame->InitialUpdateFrame();
    m_bInNewDocument = FALSE;
    if (m_bCloseRequested) {
        CloseMainFrame();
        return;
    }
    if (m_nDeferredCommand != 0) PostCommand(std::exchange(m_nDeferredCommand, 0u));
}

void CLinoscopeApp::OnAppAbout() {
    CAboutDlg dlg(m_strVersion);
    dlg.DoModal();
}

void CLinoscopeApp::CloseMainFrame() {
    m_nDeferredCommand = 0;
    if (m_pMainFrame == nullptr || m_pMainFrame->GetHwnd() == nullptr) return;
    // The views clear their trees and call tables while the monitor exists;
    // then the document lets the monitor go, which shuts TAPI down.
    ::DestroyWindow(m_pMainFrame->GetHwnd());
    if (m_pDocument != nullptr) m_pDocument->DeleteContents();
    PostQuitMessage(0);
}

void CLinoscopeApp::OnQueryEndSession() {
    if (m_bInNewDocument) m_bCloseRequested = TRUE;
}

CTapiMonitor* CLinoscopeApp::GetActiveMonitor() {
    HWND hMain = GetMainWindow();
    if (hMain == nullptr || m_pMainFrame == nullptr || m_pMainFrame->GetHwnd() != hMain) return nullptr;
    CLinoscopeDoc* pDoc = m_pMainFrame->GetActiveDocument();
    return pDoc != nullptr ? pDoc->m_pMonitor.get() : nullptr;
}

void CLinoscopeApp::UpdateAllViews() {
    if (m_pMainFrame != nullptr) m_pMainFrame->UpdateAllViews();
}

BOOL CLinoscopeApp::AskYesNo(const std::string& strQuestion) {
    HWND hMain = GetMainWindow();
    HWND hOwner = hMain != nullptr ? GetLastActivePopup(hMain) : nullptr;
    char szTitle[128] = "";
    LoadStringA(m_hInstance, AFX_IDS_APP_TITLE, szTitle, sizeof szTitle);
    return MessageBoxA(hOwner, strQuestion.c_str(), szTitle, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void CLinoscopeApp::PostCommand(UINT nID) {
    if (HWND hMain = GetMainWindow()) PostMessageA(hMain, WM_COMMAND, nID, 0);
}

void CLinoscopeApp::ShowInformation(const std::string& strText) {
    if (m_pCapturedInformation != nullptr) {
        *m_pCapturedInformation += strText;
        return;
    }
    CInfoDlg dlg;
    dlg.m_strInfo = strText;
    // Saved under the name of the line or call it is about: the selected item
    // of the active view, as the command acted on it.
    std::string strName = "Information";
    if (CLineView* pView = m_pMainFrame != nullptr ? m_pMainFrame->GetActiveView() : nullptr) {
        CDeferredTreeCtrl& tree = pView->GetTreeCtrl();
        const HTREEITEM hSelected = tree.GetSelectedItem();
        const HTREEITEM hParent = hSelected != nullptr ? tree.GetParentItem(hSelected) : nullptr;
        if (hParent != nullptr && hParent == tree.GetRootItem()) {
            strName = tree.GetItemText(hSelected);
        } else if (hParent != nullptr && tree.GetParentItem(hParent) == tree.GetRootItem()) {
            strName = tree.GetItemText(hParent) + " call";
        }
    }
    dlg.m_strSuggestedName = strName + " " + FileTimeStamp();
    dlg.DoModal();
}

std::unique_ptr<CInitProgress> CLinoscopeApp::CreateProgress() {
    auto pDialog = std::make_unique<CClosableProgressDlg>(m_bCloseRequested);
    // A dialog that could not be made still answers every call, harmlessly.
    pDialog->Open(nullptr);
    return pDialog;
}
