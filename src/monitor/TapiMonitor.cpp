// The monitor object: construction, shutdown and the table accessors.
#include "monitor/TapiMonitor.h"

#include "presentation/EventLogWriter.h"
#include "reports/Snapshots.h"
#include "tapi/TapiEntry.h"

namespace {

// Closes each opened line of a group in index order, destroying each record
// right after its line; a record whose line never opened has nothing to close.
void CloseLines(std::vector<std::unique_ptr<CLineDevCaps>>& lines) {
    for (auto& pLine : lines) {
        if (!pLine) continue;
        if (pLine->m_hLine != 0) tapi::lineClose(pLine->m_hLine);
        pLine.reset();
    }
    lines.clear();
}

CLineDevCaps* LineAt(const std::vector<std::unique_ptr<CLineDevCaps>>& lines, int nIndex) {
    if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= lines.size()) return nullptr;
    return lines[static_cast<std::size_t>(nIndex)].get();
}

}  // namespace

CTapiMonitor::CTapiMonitor() : m_pLogWriter(std::make_shared<CEventLogWriter>()) {}

CTapiMonitor::~CTapiMonitor() {
    Shutdown();
}

CTapiMonitor::CGroup CTapiMonitor::Group(ELineGroup eGroup) {
    switch (eGroup) {
        case ELineGroup::Co:
            return {m_coLines, m_coByLine, m_coByItem, m_coCalls, m_pCoTree, m_hCoRoot};
        case ELineGroup::Etc:
            return {m_etcLines, m_etcByLine, m_etcByItem, m_etcCalls, m_pEtcTree, m_hEtcRoot};
        case ELineGroup::Ext:
            break;
    }
    return {m_extLines, m_extByLine, m_extByItem, m_extCalls, m_pExtTree, m_hExtRoot};
}

void CTapiMonitor::Shutdown() {
    if (m_pLogWriter) m_pLogWriter->Flush();
    for (ELineGroup eGroup : kLineGroups) CloseLines(Group(eGroup).lines);
    m_addressCaps.clear();
    // The maps point at the records just destroyed; nothing may reach them
    // until the document replaces this monitor.
    for (ELineGroup eGroup : kLineGroups) {
        Group(eGroup).byLine.clear();
        Group(eGroup).byItem.clear();
    }
    if (m_bInitialized) {
        tapi::lineShutdown(m_hLineApp);
        m_bInitialized = FALSE;
    }
}

int CTapiMonitor::GetExtLineCount() const {
    return static_cast<int>(m_extLines.size());
}
int CTapiMonitor::GetCoLineCount() const {
    return static_cast<int>(m_coLines.size());
}
int CTapiMonitor::GetEtcLineCount() const {
    return static_cast<int>(m_etcLines.size());
}

CLineDevCaps* CTapiMonitor::GetExtLine(int nIndex) const {
    return LineAt(m_extLines, nIndex);
}
CLineDevCaps* CTapiMonitor::GetCoLine(int nIndex) const {
    return LineAt(m_coLines, nIndex);
}
CLineDevCaps* CTapiMonitor::GetEtcLine(int nIndex) const {
    return LineAt(m_etcLines, nIndex);
}

std::size_t CTapiMonitor::GetShownLineCount(ELineGroup eGroup) const {
    // Group hands out references for writing; this only reads the size.
    return const_cast<CTapiMonitor*>(this)->Group(eGroup).byItem.size();
}
std::size_t CTapiMonitor::GetShownCallCount() const {
    return m_extCalls.size() + m_coCalls.size() + m_etcCalls.size();
}

void CTapiMonitor::ClearExtCalls() {
    m_extCalls.clear();
}
void CTapiMonitor::ClearCoCalls() {
    m_coCalls.clear();
}
void CTapiMonitor::ClearEtcCalls() {
    m_etcCalls.clear();
}

void CTapiMonitor::SetExtTree(CTreeCtrl* pTree) {
    m_pExtTree = pTree;
}
void CTapiMonitor::SetCoTree(CTreeCtrl* pTree) {
    m_pCoTree = pTree;
}
void CTapiMonitor::SetEtcTree(CTreeCtrl* pTree) {
    m_pEtcTree = pTree;
}
