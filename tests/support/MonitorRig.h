// CMonitorRig: a monitor wired up as the running program wires it, without
// start-up: the fake TAPI, the recording application, three in-memory trees
// registered and filled, lines added by hand to the groups, a log file of its
// own in the temporary folder and a clock the test sets.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "monitor/TapiMonitor.h"
#include "platform/Platform.h"
#include "presentation/EventLogWriter.h"
#include "reports/Snapshots.h"
#include "support/FakeTapi.h"
#include "support/MonitorInternals.h"
#include "support/TestApp.h"
#include "support/TestFiles.h"
#include "views/MemoryTreeCtrl.h"

// The clock every rig installs: tests move it with SetClock.
inline SYSTEMTIME& RigClock() {
    static SYSTEMTIME now{};
    return now;
}

inline void SetClock(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond, int nMs) {
    SYSTEMTIME& now = RigClock();
    now = SYSTEMTIME{};
    now.wYear = static_cast<WORD>(nYear);
    now.wMonth = static_cast<WORD>(nMonth);
    now.wDay = static_cast<WORD>(nDay);
    now.wHour = static_cast<WORD>(nHour);
    now.wMinute = static_cast<WORD>(nMinute);
    now.wSecond = static_cast<WORD>(nSecond);
    now.wMilliseconds = static_cast<WORD>(nMs);
}

// The records of a log text, each without its CR LF; a record missing its
// CR LF is returned with "<no CR LF>" appended so that comparisons show it.
inline std::vector<std::string> SplitRecords(const std::string& strText) {
    std::vector<std::string> records;
    size_t pos = 0;
    while (pos < strText.size()) {
        const size_t end = strText.find("\r\n", pos);
        if (end == std::string::npos) {
            records.push_back(strText.substr(pos) + "<no CR LF>");
            break;
        }
        records.push_back(strText.substr(pos, end - pos));
        pos = end + 2;
    }
    return records;
}

class CMonitorRig {
public:
    // The log file is named after the running test, so that test programs
    // running side by side never share one.
    CMonitorRig() {
        m_tapi.m_pfnCallback = &LineCallback;
        m_app.m_pMonitor = &m_monitor;
        SetClock(2004, 1, 5, 13, 7, 9, 45);
        platform::SetLocalTimeSourceForTests([](SYSTEMTIME* p) { *p = RigClock(); });
        m_strLogPath = UniqueTempPath(LogFileName()).string();
        std::remove(m_strLogPath.c_str());
        Internals(m_monitor).m_strLogFile = m_strLogPath;
        m_monitor.SetExtTree(&m_extTree);
        m_monitor.SetCoTree(&m_coTree);
        m_monitor.SetEtcTree(&m_etcTree);
    }
    ~CMonitorRig() {
        platform::SetLocalTimeSourceForTests(nullptr);
        // Whatever still waits goes somewhere now, not after the files are gone.
        Internals(m_monitor).m_pLogWriter->Close(0);
        std::remove(m_strLogPath.c_str());
        std::remove(CEventLogWriter::SideFileOf(m_strLogPath).c_str());
    }
    CMonitorRig(const CMonitorRig&) = delete;
    CMonitorRig& operator=(const CMonitorRig&) = delete;

    // Adds a line record to a group as start-up would leave it: device caps
    // and address caps fetched, opened (handle LineHandleFor) unless told not
    // to, with a display name. bAddressCaps false leaves it without address
    // capabilities.
    CLineDevCaps* AddLine(ELineGroup group, DWORD dwDeviceID, const std::string& strAddress,
                          const std::string& strDisplayName = "", const std::string& strLineName = "",
                          bool bOpen = true, bool bAddressCaps = true) {
        m_tapi.m_devCaps[dwDeviceID] = CFakeTapi::MakeDevCaps("Talvora ZR-40", 0x3000 + dwDeviceID, strLineName);
        if (bAddressCaps) m_tapi.m_addressCaps[dwDeviceID] = CFakeTapi::MakeAddressCaps(dwDeviceID, strAddress);
        std::unique_ptr<CLineDevCaps> pLine = m_monitor.FetchDevCaps(dwDeviceID);
        if (!pLine) return nullptr;
        pLine->m_dwDeviceID = dwDeviceID;
        pLine->m_hLine = bOpen ? CFakeTapi::LineHandleFor(dwDeviceID) : 0;
        pLine->m_strDisplayName = strDisplayName;
        if (bAddressCaps) {
            std::unique_ptr<CLineAddressCaps> pCaps = m_monitor.FetchAddressCaps(dwDeviceID, 0);
            pLine->m_pAddressCaps = pCaps.get();
            Internals(m_monitor).m_addressCaps.push_back(std::move(pCaps));
        }
        CLineDevCaps* pRecord = pLine.get();
        auto in = Internals(m_monitor);
        Pick(group, in.m_extLines, in.m_coLines, in.m_etcLines).push_back(std::move(pLine));
        if (bOpen) Pick(group, in.m_extByLine, in.m_coByLine, in.m_etcByLine)[pRecord->m_hLine] = pRecord;
        m_tapi.ClearCalls();
        return pRecord;
    }

    void FillTrees() {
        m_monitor.FillExtTree();
        m_monitor.FillCoTree();
        m_monitor.FillEtcTree();
    }

    // A call TAPI reports on a line, with its LINECALLINFO and status, made
    // known through LINE_APPNEWCALL; returns its call item (null if none).
    HTREEITEM NewCall(ELineGroup group, HLINE hLine, HCALL hCall, const std::string& strCallerID = "",
                      const std::string& strCalledID = "") {
        m_tapi.m_callInfo[hCall] = CFakeTapi::MakeCallInfo(hLine, strCallerID, strCalledID);
        m_tapi.m_callStatus[hCall] = CFakeTapi::MakeCallStatus(LINECALLSTATE_OFFERING);
        m_tapi.Deliver(hLine, LINE_APPNEWCALL, 0, hCall, LINECALLPRIVILEGE_MONITOR);
        auto in = Internals(m_monitor);
        const auto& calls = Pick(group, in.m_extCalls, in.m_coCalls, in.m_etcCalls);
        const auto it = calls.find(hCall);
        return it == calls.end() ? nullptr : it->second;
    }

    // The one of three things that belongs to the group.
    template <typename T>
    static T& Pick(ELineGroup group, T& ext, T& co, T& etc) {
        return group == ELineGroup::Ext ? ext : group == ELineGroup::Co ? co : etc;
    }

    static std::string LogFileName() {
        const ::testing::TestInfo* pInfo = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string strName = "lsc_";
        if (pInfo) strName += std::string(pInfo->test_suite_name()) + "_" + pInfo->name();
        std::replace(strName.begin(), strName.end(), '/', '_');  // parameterized tests
        return strName;
    }

    std::string LogText() const { return ReadFileBytes(m_strLogPath); }
    std::vector<std::string> LogRecords() const { return SplitRecords(LogText()); }

    // Declared in this order so that the monitor goes first (its shutdown
    // still talks to the fake TAPI).
    CFakeTapi m_tapi;
    CTestApp m_app;
    CMemoryTreeCtrl m_extTree;
    CMemoryTreeCtrl m_coTree;
    CMemoryTreeCtrl m_etcTree;
    CTapiMonitor m_monitor;
    std::string m_strLogPath;
};
