// The application object: starts the program (the document, the frame with
// its views, the first start-up), runs the message loop, restarts monitoring
// on ID_FILE_NEW and ends it on ID_FILE_CLOSE or ID_APP_EXIT. It is also what
// the monitor reaches as its application services.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "app/MainFrame.h"
#include "monitor/MonitorApp.h"

class CLinoscopeDoc;

class CLinoscopeApp : public CMonitorApp {
public:
    explicit CLinoscopeApp(HINSTANCE hInstance);
    ~CLinoscopeApp() override;
    CLinoscopeApp(const CLinoscopeApp&) = delete;
    CLinoscopeApp& operator=(const CLinoscopeApp&) = delete;

    // Version, document, frame, first start-up, main window shown. FALSE when
    // the windows could not be made: the program ends.
    BOOL InitInstance();
    // The message loop; returns the exit code once the main window is gone.
    int Run();
    // The next message for the loop (WM_QUIT included), the user's input
    // first; FALSE when none waits and bWait is FALSE, or on an error.
    // Under a steady flow of posted TAPI messages the system would hand out
    // neither WM_PAINT nor WM_TIMER, and the user's input only after them,
    // so at least every kChoresIntervalMs the windows are painted and the
    // due timers run here.
    BOOL NextMessage(MSG* pMsg, BOOL bWait);
    static constexpr DWORD kChoresIntervalMs = 100;
    // When NextMessage last ran the due timers and painted the windows.
    ULONGLONG GetLastChoresTick() const { return m_qwLastChores; }
    // Keyboard accelerators of the main window; TRUE when the message was used.
    BOOL PreTranslateMessage(MSG* pMsg);

    // The application's commands; TRUE when handled.
    BOOL OnCommand(UINT nId);
    // Restarts monitoring: a new monitor, and every view rebuilt.
    void OnFileNew();
    void OnAppAbout();
    // Ends the program: the frame and its views first, then the monitor.
    void CloseMainFrame();
    // Windows asks whether the session may end: a start-up stops now, so the
    // program can end before the session does. Always agrees.
    void OnQueryEndSession();

    CMainFrame* GetMainFrame() const { return m_pMainFrame.get(); }
    CLinoscopeDoc* GetDocument() const { return m_pDocument.get(); }

    // The product version "a.b.c.d" from a version resource (VS_VERSIONINFO);
    // empty when the block holds no fixed file information.
    static std::string FormatProductVersion(const void* pBlock, std::size_t cbBlock);
    // The product version of the module's own version resource 1.
    static std::string ReadProductVersion(HINSTANCE hInstance);

    // --- CMonitorApp ---------------------------------------------------------
    CTapiMonitor* GetActiveMonitor() override;
    void UpdateAllViews() override;
    BOOL AskYesNo(const std::string& strQuestion) override;
    void PostCommand(UINT nID) override;
    void ShowInformation(const std::string& strText) override;
    HINSTANCE GetInstanceHandle() override { return m_hInstance; }
    std::unique_ptr<CInitProgress> CreateProgress() override;

    // While a string is given, the reports the monitor hands over for showing
    // are appended to it instead (saving every line's report); null shows
    // them again.
    void CaptureInformation(std::string* pText) { m_pCapturedInformation = pText; }

    // The product version shown by the About box.
    std::string m_strVersion;

private:
    // A new document: the monitor replaced, then the views' initial update.
    void NewDocument();

    HINSTANCE m_hInstance;
    std::unique_ptr<CLinoscopeDoc> m_pDocument;
    std::unique_ptr<CMainFrame> m_pMainFrame;
    // Set while a new document is being made; a restart or close that
    // arrives through the start-up's message pump waits until it is done.
    BOOL m_bInNewDocument = FALSE;
    UINT m_nDeferredCommand = 0;
    // A close arrived through that pump: the start-up stops at its next
    // chance, and the program ends as soon as it has.
    BOOL m_bCloseRequested = FALSE;
    std::string* m_pCapturedInformation = nullptr;
    ULONGLONG m_qwLastChores = 0;
};
