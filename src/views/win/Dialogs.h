// The program's three small dialogs: DIAL asks for the number to call,
// Information shows a report text, About shows the product version.
#pragma once

#include <string>

#include "app/Window.h"

// DIAL (resource 130): one edit field of at most 40 characters.
class CDialDlg : public CDialogBox {
public:
    static constexpr int kMaxDialChars = 40;

    CDialDlg();

    // The number shown when the dialog opens, and the one typed after IDOK.
    std::string m_strDialNumber;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
};

// Information (resource 131): the report text, read-only, in a fixed-pitch font.
class CInfoDlg : public CDialogBox {
public:
    CInfoDlg();

    std::string m_strInfo;

protected:
    BOOL OnInitDialog() override;
};

// About (resource 100): the template's version line ends in "1.0"; the
// dialog replaces those three characters by the program's product version.
class CAboutDlg : public CDialogBox {
public:
    explicit CAboutDlg(const std::string& strVersion);

protected:
    BOOL OnInitDialog() override;

private:
    std::string m_strVersion;
};
