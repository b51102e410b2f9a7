#include "views/win/Dialogs.h"

#include "views/resource.h"

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
    // Focus the report without selecting all of it, so it reads as text.
    SetFocus(hEdit);
    SendMessageA(hEdit, EM_SETSEL, 0, 0);
    return FALSE;
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
