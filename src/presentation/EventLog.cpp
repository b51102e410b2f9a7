// The event log: one comma-separated record per call-state change, relevant
// call-information change and line out-of-service or re-initialization,
// appended to m_strLogFile (relative to the current directory) with the local
// time of writing. The file is opened and closed for every record, so it is
// complete on disk after each one and free for readers in between.
//
// A record the file does not take (a spreadsheet holds the CSV open, the disk
// is full) waits, in order, in the monitor's CEventLogWriter, which writes it
// before the next record or at the next retry. A monitor whose log file was
// never named keeps no log at all.
#include <cstdio>

#include "monitor/TapiMonitor.h"
#include "monitor/TreeCtrl.h"
#include "platform/Platform.h"
#include "presentation/EventLogWriter.h"
#include "reports/LineCallInfo.h"

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
    if (m_strLogFile.empty() || !m_pLogWriter) return;
    m_pLogWriter->Write(m_strLogFile, GetTimestamp() + "," + strText + "\r\n");
}

void CTapiMonitor::LogCallState(CTreeCtrl* pTree, HTREEITEM hCallItem, const std::string& strStateText) {
    WriteLog(LineLabelOf(pTree, hCallItem) + ",LINE_CALLSTATE," + strStateText);
}

void CTapiMonitor::LogCallInfo(HCALL hCall, CTreeCtrl* pTree, HTREEITEM hCallItem, const std::string& strInfoState) {
    const std::unique_ptr<CLineCallInfo> pInfo = FetchCallInfo(hCall);
    if (!pInfo) return;
    WriteLog(LineLabelOf(pTree, hCallItem) + ",LINE_CALLINFO," + strInfoState + "," + pInfo->GetLogFields());
}
