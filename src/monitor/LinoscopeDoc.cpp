#include "monitor/LinoscopeDoc.h"

CLinoscopeDoc::~CLinoscopeDoc() { DeleteContents(); }

BOOL CLinoscopeDoc::OnNewDocument() {
    // The old monitor must be gone, its lines closed and TAPI shut down,
    // before the new one initializes TAPI again.
    DeleteContents();
    m_pMonitor = std::make_unique<CTapiMonitor>();
    m_pMonitor->m_strLogFile = "testlog.csv";
    if (!m_pMonitor->Initialize()) m_bInitFailed = TRUE;
    return TRUE;
}

void CLinoscopeDoc::DeleteContents() { m_pMonitor.reset(); }
