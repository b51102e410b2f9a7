#include "views/win/Dialogs.h"

#include <commdlg.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "views/win/Settings.h"
#include "views/win/resource.h"

namespace {

constexpr UINT_PTR kEditSubclassId = 0x4C49;

// Ctrl+A and Ctrl+C in the report, whatever the edit control offers itself.
LRESULT CALLBACK ReportEditProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    const bool bControl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    if (uMsg == WM_KEYDOWN && bControl && (wParam == 'A' || wParam == 'C' || wParam == VK_INSERT)) {
        if (wParam == 'A') {
            SendMessageA(hWnd, EM_SETSEL, 0, -1);
        } else {
            SendMessageA(hWnd, WM_COPY, 0, 0);
        }
        return 0;
    }
    // The characters these keys make would only beep.
    if (uMsg == WM_CHAR && (wParam == 0x01 || wParam == 0x03)) return 0;
    if (uMsg == WM_NCDESTROY) RemoveWindowSubclass(hWnd, ReportEditProc, kEditSubclassId);
    return DefSubclassProc(hWnd, uMsg, wParam, lParam);
}

RECT ChildRect(HWND hDlg, HWND hChild) {
    RECT rc{};
    GetWindowRect(hChild, &rc);
    MapWindowPoints(nullptr, hDlg, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

}  // namespace

std::string FileTimeStamp() {
    SYSTEMTIME time{};
    GetLocalTime(&time);
    char szStamp[32];
    std::snprintf(szStamp, sizeof szStamp, "%04u-%02u-%02u %02u%02u%02u", time.wYear, time.wMonth, time.wDay,
                  time.wHour, time.wMinute, time.wSecond);
    return szStamp;
}

std::string SafeFileName(const std::string& strName) {
    std::string strSafe = strName;
    for (char& c : strSafe) {
        if (static_cast<unsigned char>(c) < 0x20 || std::string("\\/:*?\"<>|").find(c) != std::string::npos) c = '_';
    }
    // Windows drops trailing dots and spaces from a name.
    while (!strSafe.empty() && (strSafe.back() == '.' || strSafe.back() == ' ')) strSafe.pop_back();
    return strSafe;
}

BOOL AskSavePath(HWND hOwner, const std::string& strSuggested, std::string& strPath) {
    std::vector<char> buffer(MAX_PATH * 4, '\0');
    const std::string strName = SafeFileName(strSuggested);
    std::copy_n(strName.begin(), std::min(strName.size(), buffer.size() - 1), buffer.begin());
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hOwner;
    ofn.lpstrFilter = "Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrDefExt = "txt";
    // Where the event log is written: the folder a technician looks in.
    char szFolder[MAX_PATH] = "";
    const DWORD cchFolder = GetCurrentDirectoryA(MAX_PATH, szFolder);
    if (cchFolder > 0 && cchFolder < MAX_PATH) ofn.lpstrInitialDir = szFolder;
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!GetSaveFileNameA(&ofn)) return FALSE;
    strPath = buffer.data();
    return TRUE;
}

BOOL WriteTextFile(const std::string& strPath, const std::string& strText) {
    HANDLE hFile =
        CreateFileA(strPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return FALSE;
    BOOL bOk = TRUE;
    size_t nDone = 0;
    while (bOk && nDone < strText.size()) {
        const DWORD dwChunk = static_cast<DWORD>(std::min<size_t>(strText.size() - nDone, 1u << 20));
        DWORD dwWritten = 0;
        bOk = WriteFile(hFile, strText.data() + nDone, dwChunk, &dwWritten, nullptr) && dwWritten == dwChunk;
        nDone += dwWritten;
    }
    if (!CloseHandle(hFile)) bOk = FALSE;
    return bOk;
}

// --- CDialDlg ------------------------------------------------------------------

CDialDlg::CDialDlg() : CDialogBox(IDD_DIAL) {}

BOOL CDialDlg::OnInitDialog() {
    HWND hEdit = GetItem(IDC_DIAL_NUMBER);
    SendMessageA(hEdit, EM_LIMITTEXT, kMaxDialChars, 0);
    SetWindowTextA(hEdit, m_strDialNumber.c_str());
    return TRUE;
}

void CDialDlg::OnOK() {
    m_strDialNumber = GetWindowTextString(GetItem(IDC_DIAL_NUMBER));
    // The limit holds for typing and pasting; text put there any other way is
    // cut to the same length.
    if (m_strDialNumber.size() > static_cast<size_t>(kMaxDialChars)) m_strDialNumber.resize(kMaxDialChars);
    EndModal(IDOK);
}

// --- CInfoDlg ------------------------------------------------------------------

CInfoDlg::CInfoDlg() : CDialogBox(IDD_INFO) {}

BOOL CInfoDlg::OnInitDialog() {
    HWND hEdit = GetItem(IDC_INFO_TEXT);
    SetWindowTextA(hEdit, m_strInfo.c_str());
    SetWindowSubclass(hEdit, ReportEditProc, kEditSubclassId, 0);

    // The layout as the template has it: the text keeps its distance from
    // every edge, OK from the bottom and the centre, Save... from the corner.
    RECT rcWindow{};
    GetWindowRect(m_hWnd, &rcWindow);
    m_minSize = {rcWindow.right - rcWindow.left, rcWindow.bottom - rcWindow.top};
    RECT rcClient{};
    GetClientRect(m_hWnd, &rcClient);
    m_client = {rcClient.right, rcClient.bottom};
    m_rcText = ChildRect(m_hWnd, hEdit);
    m_rcOk = ChildRect(m_hWnd, GetItem(IDOK));
    m_rcSave = ChildRect(m_hWnd, GetItem(IDC_INFO_SAVE));
    m_bLaidOut = TRUE;
    int nWidth = 0;
    int nHeight = 0;
    if (settings::ReadInt("InfoWidth", nWidth) && settings::ReadInt("InfoHeight", nHeight)) {
        nWidth = std::max(nWidth, static_cast<int>(m_minSize.cx));
        nHeight = std::max(nHeight, static_cast<int>(m_minSize.cy));
        SetWindowPos(m_hWnd, nullptr, 0, 0, nWidth, nHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // Focus the report without selecting all of it, so it reads as text.
    SetFocus(hEdit);
    SendMessageA(hEdit, EM_SETSEL, 0, 0);
    return FALSE;
}

BOOL CInfoDlg::OnCommand(WORD wId, WORD wCode, HWND hControl) {
    if (wId == IDC_INFO_SAVE) {
        OnSave();
        return TRUE;
    }
    return CDialogBox::OnCommand(wId, wCode, hControl);
}

void CInfoDlg::OnSave() {
    std::string strPath;
    if (!AskSavePath(m_hWnd, m_strSuggestedName, strPath)) return;
    if (!WriteTextFile(strPath, GetWindowTextString(GetItem(IDC_INFO_TEXT)))) {
        MessageBoxA(m_hWnd, ("Could not write " + strPath).c_str(), "Information", MB_OK | MB_ICONEXCLAMATION);
    }
}

void CInfoDlg::LayoutControls() {
    if (!m_bLaidOut) return;
    RECT rc{};
    GetClientRect(m_hWnd, &rc);
    const LONG dx = rc.right - m_client.cx;
    const LONG dy = rc.bottom - m_client.cy;
    const auto place = [&](int nId, LONG nLeft, LONG nTop, LONG nWidth, LONG nHeight) {
        SetWindowPos(GetItem(nId), nullptr, nLeft, nTop, std::max(0L, nWidth), std::max(0L, nHeight),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(IDC_INFO_TEXT, m_rcText.left, m_rcText.top, m_rcText.right - m_rcText.left + dx,
          m_rcText.bottom - m_rcText.top + dy);
    place(IDOK, m_rcOk.left + dx / 2, m_rcOk.top + dy, m_rcOk.right - m_rcOk.left, m_rcOk.bottom - m_rcOk.top);
    place(IDC_INFO_SAVE, m_rcSave.left + dx, m_rcSave.top + dy, m_rcSave.right - m_rcSave.left,
          m_rcSave.bottom - m_rcSave.top);
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

INT_PTR CInfoDlg::DialogProc(UINT uMsg, WPARAM wParam, LPARAM lParam) {
    switch (uMsg) {
        case WM_SIZE:
            LayoutControls();
            return TRUE;
        case WM_GETMINMAXINFO:
            if (m_bLaidOut) {
                auto* pInfo = reinterpret_cast<MINMAXINFO*>(lParam);
                pInfo->ptMinTrackSize = {m_minSize.cx, m_minSize.cy};
                return TRUE;
            }
            break;
        case WM_DESTROY: {
            // The size it was left at, unless maximized.
            WINDOWPLACEMENT placement{};
            placement.length = sizeof placement;
            if (m_bLaidOut && GetWindowPlacement(m_hWnd, &placement)) {
                const RECT& rc = placement.rcNormalPosition;
                settings::WriteInt("InfoWidth", rc.right - rc.left);
                settings::WriteInt("InfoHeight", rc.bottom - rc.top);
            }
            m_bLaidOut = FALSE;
            break;
        }
        default:
            break;
    }
    return CDialogBox::DialogProc(uMsg, wParam, lParam);
}

// --- CFindDlg ------------------------------------------------------------------

CFindDlg::CFindDlg() : CDialogBox(IDD_FIND) {}

BOOL CFindDlg::OnInitDialog() {
    HWND hEdit = GetItem(IDC_FIND_TEXT);
    SetWindowTextA(hEdit, m_strFindText.c_str());
    SetFocus(hEdit);
    SendMessageA(hEdit, EM_SETSEL, 0, -1);
    return FALSE;
}

void CFindDlg::OnOK() {
    m_strFindText = GetWindowTextString(GetItem(IDC_FIND_TEXT));
    EndModal(IDOK);
}

// --- CAboutDlg -----------------------------------------------------------------

CAboutDlg::CAboutDlg(const std::string& strVersion) : CDialogBox(IDD_ABOUTBOX), m_strVersion(strVersion) {}

BOOL CAboutDlg::OnInitDialog() {
    // The version line is the control after the icon.
    HWND hIcon = GetWindow(m_hWnd, GW_CHILD);
    HWND hVersion = hIcon != nullptr ? GetWindow(hIcon, GW_HWNDNEXT) : nullptr;
    // Without a version resource the template's own text stays.
    if (hVersion != nullptr && !m_strVersion.empty()) {
        std::string strText = GetWindowTextString(hVersion);
        strText.resize(strText.size() >= 3 ? strText.size() - 3 : 0);
        strText += m_strVersion;
        SetWindowTextA(hVersion, strText.c_str());
    }
    return TRUE;
}
