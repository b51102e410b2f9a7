// The program's small dialogs: DIAL asks for the number to call, Information
// shows a report text, Find asks for a line, About shows the product version;
// and the helpers they share for saving text to a file.
#pragma once

#include <string>

#include "win32/Window.h"

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

// Information (resource 131): the report text, read-only, in a fixed-pitch
// font. It can be resized and maximized (the text follows) and opens at the
// size it was left at; Ctrl+A selects all of the text, Ctrl+C copies the
// selection, Save... writes the text to a file.
class CInfoDlg : public CDialogBox {
public:
    CInfoDlg();

    std::string m_strInfo;
    // The file name Save... offers, without folder or extension.
    std::string m_strSuggestedName;

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WORD wId, WORD wCode, HWND hControl) override;
    INT_PTR DialogProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

private:
    void OnSave();
    void LayoutControls();

    // The template's window size and the controls' distances from the edges.
    SIZE m_minSize{};
    SIZE m_client{};
    RECT m_rcText{};
    RECT m_rcOk{};
    RECT m_rcSave{};
    BOOL m_bLaidOut = FALSE;
};

// Find (resource 132): a line's number or part of its name.
class CFindDlg : public CDialogBox {
public:
    CFindDlg();

    std::string m_strFindText;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
};

// The local time as it goes into a file name: yyyy-mm-dd hhmmss.
std::string FileTimeStamp();
// A text made fit for a file name: characters Windows refuses there become '_'.
std::string SafeFileName(const std::string& strName);
// Asks where to save a text file (the common Save dialog, .txt), offering
// strSuggested; FALSE when the user cancels.
BOOL AskSavePath(HWND hOwner, const std::string& strSuggested, std::string& strPath);
// Writes the bytes of strText to the file, replacing it; FALSE on failure.
BOOL WriteTextFile(const std::string& strPath, const std::string& strText);

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
