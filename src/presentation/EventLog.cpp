// The event log: one comma-separated record per call-state change, relevant
// call-information change and line out-of-service or re-initialization,
// appended to m_strLogFile (relative to the current directory) with the local
// time of writing. The file is opened and closed for every record, so it is
// complete on disk after each one and free for readers in between.
//
// A record that cannot be written because another program holds the file
// (a spreadsheet with the CSV open, for example) is kept in memory, in order,
// and written before the next record once the file can be opened again. The
// backlog is bounded: when it is full the oldest waiting record gives way.
// A monitor whose log file was never named keeps no log at all.
#include <cstdio>

#include "monitor/TapiMonitor.h"
#include "platform/Platform.h"
#include "reports/LineCallInfo.h"
#include "views/TreeCtrl.h"

namespace {

// The text of the call item's line item (its parent), or empty.
std::string LineLabelOf(const CTreeCtrl* pTree, HTREEITEM hCallItem) {
    if (!pTree || !hCallItem) return std::string();
    const HTREEITEM hLine = pTree->GetParentItem(hCallItem);
    return hLine ? pTree->GetItemText(hLine) : std::string();
}

}  // namespace

std::string CTapiMonitor::GetTimestamp() const {
    SYSTEMTIME now{};
    platform::GetLocalTimeNow(&now);
    char szText[64];
    std::snprintf(szText, sizeof szText, "%04d/%02d/%02d %02d:%02d:%02d:%03d", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return szText;
}

void CTapiMonitor::WriteLog(const std::string& strText) {
    if (m_strLogFile.empty()) return;
    std::string strRecord = GetTimestamp();
    strRecord += ',';
    strRecord += strText;
    strRecord += "\r\n";

    if (!m_logBacklog.empty()) {
        // Try the oldest waiting record alone first: while the file is still
        // held, that costs one failed open, not a copy of the whole backlog.
        if (platform::AppendRecord(m_strLogFile, m_logBacklog.front())) {
            m_logBacklog.pop_front();
            std::string strPending;
            for (const std::string& strWaiting : m_logBacklog) strPending += strWaiting;
            strPending += strRecord;
            if (platform::AppendRecord(m_strLogFile, strPending)) {
                m_logBacklog.clear();
                return;
            }
        }
    } else if (platform::AppendRecord(m_strLogFile, strRecord)) {
        return;
    }

    if (m_logBacklog.size() >= kMaxLogBacklog) m_logBacklog.pop_front();
    m_logBacklog.push_back(std::move(strRecord));
}

void CTapiMonitor::LogCallState(CTreeCtrl* pTree, HTREEITEM hCallItem, const std::string& strStateText) {
    WriteLog(LineLabelOf(pTree, hCallItem) + ",LINE_CALLSTATE," + strStateText);
}

void CTapiMonitor::LogCallInfo(HCALL hCall, CTreeCtrl* pTree, HTREEITEM hCallItem, const std::string& strInfoState) {
    const std::unique_ptr<CLineCallInfo> pInfo = FetchCallInfo(hCall);
    if (!pInfo) return;
    WriteLog(LineLabelOf(pTree, hCallItem) + ",LINE_CALLINFO," + strInfoState + "," + pInfo->GetLogFields());
}
