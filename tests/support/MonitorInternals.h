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
    explicit CTapiMonitorTestAccess(CTapiMonitor& monitor)
        : m_bInitialized(monitor.m_bInitialized),
          m_hLineApp(monitor.m_hLineApp),
          m_extLines(monitor.m_extLines),
          m_coLines(monitor.m_coLines),
          m_etcLines(monitor.m_etcLines),
          m_addressCaps(monitor.m_addressCaps),
          m_extByLine(monitor.m_extByLine),
          m_coByLine(monitor.m_coByLine),
          m_etcByLine(monitor.m_etcByLine),
          m_extByItem(monitor.m_extByItem),
          m_coByItem(monitor.m_coByItem),
          m_etcByItem(monitor.m_etcByItem),
          m_extCalls(monitor.m_extCalls),
          m_coCalls(monitor.m_coCalls),
          m_etcCalls(monitor.m_etcCalls),
          m_dwMakeCallRequest(monitor.m_dwMakeCallRequest),
          m_hMakeCallLine(monitor.m_hMakeCallLine),
          m_hMakeCallCall(monitor.m_hMakeCallCall),
          m_dwAnswerRequest(monitor.m_dwAnswerRequest),
          m_dwDropRequest(monitor.m_dwDropRequest),
          m_strLogFile(monitor.m_strLogFile),
          m_pLogWriter(monitor.m_pLogWriter) {}

    BOOL& m_bInitialized;
    HLINEAPP& m_hLineApp;
    std::vector<std::unique_ptr<CLineDevCaps>>& m_extLines;
    std::vector<std::unique_ptr<CLineDevCaps>>& m_coLines;
    std::vector<std::unique_ptr<CLineDevCaps>>& m_etcLines;
    std::vector<std::unique_ptr<CLineAddressCaps>>& m_addressCaps;
    std::map<HLINE, CLineDevCaps*>& m_extByLine;
    std::map<HLINE, CLineDevCaps*>& m_coByLine;
    std::map<HLINE, CLineDevCaps*>& m_etcByLine;
    std::map<HTREEITEM, CLineDevCaps*>& m_extByItem;
    std::map<HTREEITEM, CLineDevCaps*>& m_coByItem;
    std::map<HTREEITEM, CLineDevCaps*>& m_etcByItem;
    std::map<HCALL, HTREEITEM>& m_extCalls;
    std::map<HCALL, HTREEITEM>& m_coCalls;
    std::map<HCALL, HTREEITEM>& m_etcCalls;
    DWORD& m_dwMakeCallRequest;
    HLINE& m_hMakeCallLine;
    HCALL& m_hMakeCallCall;
    DWORD& m_dwAnswerRequest;
    DWORD& m_dwDropRequest;
    std::string& m_strLogFile;
    std::shared_ptr<CEventLogWriter>& m_pLogWriter;
};

// monitor.m_extCalls and so on.
inline CTapiMonitorTestAccess Internals(CTapiMonitor& monitor) {
    return CTapiMonitorTestAccess(monitor);
}
// For checks inside const helpers; they only read.
inline CTapiMonitorTestAccess Internals(const CTapiMonitor& monitor) {
    return CTapiMonitorTestAccess(const_cast<CTapiMonitor&>(monitor));
}
