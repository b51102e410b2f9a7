// The one application object the TAPI callback and the commands reach.
#include "monitor/MonitorApp.h"

namespace {
// Set by the program (or a test) before anything asks for it; everything runs
// on the user-interface thread, so a plain pointer is enough.
CMonitorApp* g_pMonitorApp = nullptr;
}  // namespace

CMonitorApp* GetMonitorApp() {
    return g_pMonitorApp;
}

void SetMonitorApp(CMonitorApp* pApp) {
    g_pMonitorApp = pApp;
}
