// The small modeless dialog shown while monitoring starts: a message, a bar,
// a percentage and Cancel. It runs no loop of its own: every position update
// and every cancel query first lets the thread's pending messages run, which
// is when it paints and when Cancel is seen. While it is open its owner (the
// main window at a restart) is disabled.
#pragma once

#include "monitor/InitProgress.h"
#include "views/ProgressModel.h"
#include "win32/Window.h"

class CInitProgressDlg : public CDialogBox, public CInitProgress {
public:
    // nTitleId: string resource of the window title; 0 for the default 107.
    explicit CInitProgressDlg(UINT nTitleId = 0);
    ~CInitProgressDlg() override;

    // Creates the dialog (template 106) and disables its owner: the safe owner
    // of hParent, or with no parent the main window's last active popup.
    BOOL Open(HWND hParent);

    void SetRange(int nLow, int nHigh) override;
    void SetMessage(const std::string& strText) override;
    int SetPosition(int nPos) override;
    BOOL IsCancelPressed() override;
    // Gives the owner back its input, then destroys the window.
    void DestroyWindow() override;

    HWND GetOwnerWindow() const { return m_hOwner; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

private:
    // How long one call of ProcessPendingMessages may handle messages.
    static constexpr ULONGLONG kPumpBudgetMs = 50;
    void ProcessPendingMessages();
    void RefreshPercent(int nPos);
    void EnableOwner();

    HWND m_ctlProgress = nullptr;
    UINT m_nTitleID;
    CProgressModel m_model;
    BOOL m_bOwnerDisabled = FALSE;
    HWND m_hOwner = nullptr;
};
