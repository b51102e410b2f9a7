// What the monitor needs from the program around it. The Windows application
// implements it with real windows; tests implement it with recorders. One
// global accessor returns the current one, as the running program has one
// application object.
#pragma once

#include <memory>
#include <string>

#include "monitor/InitProgress.h"
#include "platform/WinTypes.h"

class CTapiMonitor;

class CMonitorApp {
public:
    virtual ~CMonitorApp() = default;

    // TRUE while a start-up sequence runs; the TAPI callback then drops
    // every message.
    BOOL m_bTapiStarting = FALSE;

    // The monitor of the main window's active document, or null when there
    // is no main window, no active document or no monitor.
    virtual CTapiMonitor* GetActiveMonitor() = 0;
    // Refreshes every view of the document (after each TAPI message).
    virtual void UpdateAllViews() = 0;
    // A modal Yes/No question; TRUE for Yes.
    virtual BOOL AskYesNo(const std::string& strQuestion) = 0;
    // Posts WM_COMMAND with the identifier (lParam 0) to the main window.
    virtual void PostCommand(UINT nID) = 0;
    // Shows a report text in the modal Information dialog.
    virtual void ShowInformation(const std::string& strText) = 0;
    // The module instance handle passed to lineInitializeEx.
    virtual HINSTANCE GetInstanceHandle() = 0;
    // Creates and opens the modeless progress display (no parent window).
    virtual std::unique_ptr<CInitProgress> CreateProgress() = 0;
};

// The current application object, or null.
CMonitorApp* GetMonitorApp();
// Installs the application object (null removes it).
void SetMonitorApp(CMonitorApp* pApp);
