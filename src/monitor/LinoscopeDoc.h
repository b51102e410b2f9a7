// The program's one document. It has no file: its only content is the
// monitor. Making a new document is how monitoring starts and restarts;
// deleting its contents shuts the monitor down. It holds no window, so the
// restart sequence runs the same way in the program and in tests.
#pragma once

#include <memory>

#include "monitor/TapiMonitor.h"
#include "platform/WinTypes.h"
#include "presentation/EventLogWriter.h"

class CLinoscopeDoc {
public:
    CLinoscopeDoc();
    virtual ~CLinoscopeDoc();
    CLinoscopeDoc(const CLinoscopeDoc&) = delete;
    CLinoscopeDoc& operator=(const CLinoscopeDoc&) = delete;

    // Deletes the old monitor, builds a new one and runs its start-up. TRUE
    // even when start-up fails: the views then ask whether to retry.
    virtual BOOL OnNewDocument();
    // Destroys the monitor, which closes its lines and shuts TAPI down.
    virtual void DeleteContents();

    // The monitor of this document; null before the first new document and
    // between DeleteContents and the next OnNewDocument.
    std::unique_ptr<CTapiMonitor> m_pMonitor;
    // The event log's writer, handed to every monitor this document makes:
    // records still waiting for the file survive a restart. The destructor
    // closes it, waiting at most m_nLogFinalWaitMs for a held file.
    std::shared_ptr<CEventLogWriter> m_pEventLog;
    unsigned m_nLogFinalWaitMs;
    // Start-up of the current monitor failed and nobody has asked the user
    // about it yet (the CO view asks and clears it).
    BOOL m_bInitFailed = FALSE;
};
