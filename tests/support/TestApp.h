// CTestApp: the application services as a recorder, for the monitor's tests.
// Constructing one installs it as the current application object; destroying
// it removes it again. It records every refresh, question, posted command,
// Information text and progress call, and answers from what the test set.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "monitor/MonitorApp.h"
#include "monitor/TapiMonitor.h"

class CTestApp : public CMonitorApp {
public:
    CTestApp() { SetMonitorApp(this); }
    ~CTestApp() override {
        if (GetMonitorApp() == this) SetMonitorApp(nullptr);
    }
    CTestApp(const CTestApp&) = delete;
    CTestApp& operator=(const CTestApp&) = delete;

    // --- What the monitor reaches ---------------------------------------------
    CTapiMonitor* m_pMonitor = nullptr;  // the active document's monitor
    BOOL m_bAnswerYes = TRUE;            // the answer to every question
    HINSTANCE m_hInstance = reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(0x00400000));
    // Progress display: IsCancelPressed answers TRUE on this call (1 = the
    // first), 0 never. OnPump runs wherever the display lets messages through
    // (SetPosition, IsCancelPressed), as the dialog's message pump would.
    int m_nCancelOnCheck = 0;
    std::function<void()> OnPump;
    bool m_bProgress = true;  // false: no progress display can be made

    // --- What was done ---------------------------------------------------------
    int m_nUpdateAllViews = 0;
    std::vector<std::string> m_questions;
    std::vector<UINT> m_postedCommands;
    std::vector<std::string> m_information;
    // One entry per progress call: "create", "range 0 100", "message text",
    // "position 5", "cancel?", "destroy".
    std::vector<std::string> m_progress;
    int m_nCancelChecks = 0;

    CTapiMonitor* GetActiveMonitor() override { return m_pMonitor; }
    void UpdateAllViews() override { ++m_nUpdateAllViews; }
    BOOL AskYesNo(const std::string& strQuestion) override {
        m_questions.push_back(strQuestion);
        return m_bAnswerYes;
    }
    void PostCommand(UINT nID) override { m_postedCommands.push_back(nID); }
    void ShowInformation(const std::string& strText) override { m_information.push_back(strText); }
    HINSTANCE GetInstanceHandle() override { return m_hInstance; }
    std::unique_ptr<CInitProgress> CreateProgress() override {
        if (!m_bProgress) return nullptr;
        m_progress.push_back("create");
        return std::make_unique<CRecordingProgress>(*this);
    }

private:
    class CRecordingProgress : public CInitProgress {
    public:
        explicit CRecordingProgress(CTestApp& app) : m_app(app) {}
        void SetRange(int nLow, int nHigh) override {
            m_app.m_progress.push_back("range " + std::to_string(nLow) + " " + std::to_string(nHigh));
        }
        void SetMessage(const std::string& strText) override { m_app.m_progress.push_back("message " + strText); }
        int SetPosition(int nPos) override {
            m_app.m_progress.push_back("position " + std::to_string(nPos));
            if (m_app.OnPump) m_app.OnPump();
            return std::exchange(m_nPos, nPos);
        }
        BOOL IsCancelPressed() override {
            m_app.m_progress.push_back("cancel?");
            ++m_app.m_nCancelChecks;
            if (m_app.OnPump) m_app.OnPump();
            return m_app.m_nCancelOnCheck != 0 && m_app.m_nCancelChecks == m_app.m_nCancelOnCheck;
        }
        void DestroyWindow() override { m_app.m_progress.push_back("destroy"); }

        CTestApp& m_app;
        int m_nPos = 0;
    };
};
