// The monitor's tables as tests and the benchmark see them: what they set up
// directly, or check where nothing a user sees tells it. CTapiMonitor keeps
// them private and has this one friend.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "monitor/TapiMonitor.h"

struct CTapiMonitorTestAccess {
    CTapiMonitor& m;
    decltype(CTapiMonitor::m_extLines)& m_extLines = m.m_extLines;
    decltype(CTapiMonitor::m_coLines)& m_coLines = m.m_coLines;
    decltype(CTapiMonitor::m_etcLines)& m_etcLines = m.m_etcLines;
    decltype(CTapiMonitor::m_addressCaps)& m_addressCaps = m.m_addressCaps;
    decltype(CTapiMonitor::m_extByLine)& m_extByLine = m.m_extByLine;
    decltype(CTapiMonitor::m_coByLine)& m_coByLine = m.m_coByLine;
    decltype(CTapiMonitor::m_etcByLine)& m_etcByLine = m.m_etcByLine;
    decltype(CTapiMonitor::m_extCalls)& m_extCalls = m.m_extCalls;
    decltype(CTapiMonitor::m_coCalls)& m_coCalls = m.m_coCalls;
    decltype(CTapiMonitor::m_etcCalls)& m_etcCalls = m.m_etcCalls;
    DWORD& m_dwMakeCallRequest = m.m_dwMakeCallRequest;
    HLINE& m_hMakeCallLine = m.m_hMakeCallLine;
    HCALL& m_hMakeCallCall = m.m_hMakeCallCall;
    DWORD& m_dwAnswerRequest = m.m_dwAnswerRequest;
    DWORD& m_dwDropRequest = m.m_dwDropRequest;
    std::string& m_strLogFile = m.m_strLogFile;
    std::shared_ptr<CEventLogWriter>& m_pLogWriter = m.m_pLogWriter;
};

// monitor.m_extCalls and so on.
inline CTapiMonitorTestAccess Internals(CTapiMonitor& monitor) {
    return {monitor};
}
// For checks inside const helpers; they only read.
inline CTapiMonitorTestAccess Internals(const CTapiMonitor& monitor) {
    return {const_cast<CTapiMonitor&>(monitor)};
}
