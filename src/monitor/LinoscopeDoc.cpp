#include "monitor/LinoscopeDoc.h"

CLinoscopeDoc::CLinoscopeDoc()
    : m_pEventLog(std::make_shared<CEventLogWriter>()), m_nLogFinalWaitMs(CEventLogWriter::kFinalWaitMs) {}

CLinoscopeDoc::~CLinoscopeDoc() {
    DeleteContents();
    // The end of the program: what the log file still does not take after a
    // moment goes to the side file rather than being lost.
    m_pEventLog->Close(m_nLogFinalWaitMs);
}

BOOL CLinoscopeDoc::OnNewDocument() {
    // The old monitor must be gone, its lines closed and TAPI shut down,
    // before the new one initializes TAPI again.
    DeleteContents();
    m_pMonitor = std::make_unique<CTapiMonitor>();
    m_pMonitor->SetLogFile("testlog.csv");
    m_pMonitor->SetLogWriter(m_pEventLog);
    if (!m_pMonitor->Initialize()) m_bInitFailed = TRUE;
    return TRUE;
}

void CLinoscopeDoc::DeleteContents() {
    m_pMonitor.reset();
}
