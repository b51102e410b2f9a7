// What the views ask of the monitor: fill a group's tree with its lines, and
// the commands of their menus (place, answer and drop a call; show the line
// and call information).
#include "monitor/MonitorApp.h"
#include "monitor/TapiMonitor.h"
#include "monitor/TreeCtrl.h"
#include "reports/Snapshots.h"
#include "tapi/TapiEntry.h"

namespace {

// A line whose address capabilities were not obtained has an empty address.
std::string AddressOf(const CLineDevCaps& line) {
    return line.m_pAddressCaps ? line.m_pAddressCaps->GetAddress() : std::string();
}

std::string WithDisplayName(std::string strLabel, const CLineDevCaps& line) {
    if (!line.m_strDisplayName.empty()) strLabel += " " + line.m_strDisplayName;
    return strLabel;
}

std::string ExtLabel(const CLineDevCaps& line) {
    return WithDisplayName(AddressOf(line), line);
}

std::string CoLabel(const CLineDevCaps& line) {
    return WithDisplayName(line.m_pAddressCaps ? line.m_pAddressCaps->GetPaddedAddress() : std::string(), line);
}

std::string EtcLabel(const CLineDevCaps& line) {
    std::string strLabel = line.m_strLineName;
    const std::string strAddress = AddressOf(line);
    if (!strAddress.empty() && strAddress != line.m_strLineName) strLabel += " " + strAddress;
    return WithDisplayName(strLabel, line);
}

// Root item, one item per line in table order, then the lines sorted by label.
void FillGroupTree(CTreeCtrl* pTree, const char* pszRootText, const std::vector<std::unique_ptr<CLineDevCaps>>& lines,
                   HTREEITEM& hRoot, std::map<HTREEITEM, CLineDevCaps*>& byItem,
                   std::string (*pfnLabel)(const CLineDevCaps&)) {
    if (!pTree) return;
    // The map describes this tree's items only; earlier items are gone.
    byItem.clear();
    hRoot = pTree->InsertItem(pszRootText, TVI_ROOT);
    if (!hRoot) return;
    for (const auto& pLine : lines) {
        if (!pLine) continue;
        const HTREEITEM hItem = pTree->InsertItem(pfnLabel(*pLine), hRoot);
        pLine->m_hItem = hItem;
        if (hItem) byItem[hItem] = pLine.get();
    }
    pTree->Expand(hRoot, TVE_EXPAND);
    pTree->SortChildren(hRoot);
}

CLineDevCaps* LineOfItem(const std::map<HTREEITEM, CLineDevCaps*>& byItem, HTREEITEM hItem) {
    if (!hItem) return nullptr;
    const auto it = byItem.find(hItem);
    return it == byItem.end() ? nullptr : it->second;
}

// The HCALL a call item carries; 0 for every other item.
HCALL CallOfItem(const CTreeCtrl* pTree, HTREEITEM hItem) {
    if (!pTree || !hItem) return 0;
    return static_cast<HCALL>(pTree->GetItemData(hItem));
}

void ShowText(const std::string& strText) {
    if (CMonitorApp* pApp = GetMonitorApp()) pApp->ShowInformation(strText);
}

}  // namespace

void CTapiMonitor::FillExtTree() {
    FillTree(Group(ELineGroup::Ext), "EXT", ExtLabel);
}
void CTapiMonitor::FillCoTree() {
    FillTree(Group(ELineGroup::Co), "CO", CoLabel);
}
void CTapiMonitor::FillEtcTree() {
    FillTree(Group(ELineGroup::Etc), "ETC", EtcLabel);
}

void CTapiMonitor::FillTree(const CGroup& group, const char* pszRootText,
                            std::string (*pfnLabel)(const CLineDevCaps&)) {
    FillGroupTree(group.pTree, pszRootText, group.lines, group.hRoot, group.byItem, pfnLabel);
}

int CTapiMonitor::MakeCall(HTREEITEM hItem, const std::string& strNumber) {
    const CLineDevCaps* pLine = LineOfItem(m_extByItem, hItem);
    if (!pLine) return 0;
    const LONG lResult = tapi::lineMakeCall(pLine->m_hLine, &m_hMakeCallCall, strNumber.c_str(), 0, nullptr);
    if (lResult > 0) {
        m_dwMakeCallRequest = static_cast<DWORD>(lResult);
        m_hMakeCallLine = pLine->m_hLine;
    }
    return 0;
}

BOOL CTapiMonitor::CanAnswer(HTREEITEM hItem) {
    const HCALL hCall = CallOfItem(m_pExtTree, hItem);
    if (hCall == 0) return FALSE;
    const std::unique_ptr<CLineCallStatus> pStatus = FetchCallStatus(hCall);
    return pStatus ? pStatus->IsAnswerable() : FALSE;
}

int CTapiMonitor::Answer(HTREEITEM hItem) {
    if (!CanAnswer(hItem)) return -1;
    const HCALL hCall = CallOfItem(m_pExtTree, hItem);
    if (hCall == 0) return -1;
    const LONG lResult = tapi::lineAnswer(hCall, nullptr, 0);
    if (lResult > 0) m_dwAnswerRequest = static_cast<DWORD>(lResult);
    return 0;
}

BOOL CTapiMonitor::CanDrop(HTREEITEM hItem) {
    const HCALL hCall = CallOfItem(m_pExtTree, hItem);
    if (hCall == 0) return FALSE;
    const std::unique_ptr<CLineCallStatus> pStatus = FetchCallStatus(hCall);
    return pStatus ? pStatus->IsDroppable() : FALSE;
}

int CTapiMonitor::Drop(HTREEITEM hItem) {
    if (!CanDrop(hItem)) return -1;
    const HCALL hCall = CallOfItem(m_pExtTree, hItem);
    if (hCall == 0) return -1;
    const LONG lResult = tapi::lineDrop(hCall, nullptr, 0);
    if (lResult > 0) m_dwDropRequest = static_cast<DWORD>(lResult);
    return 0;
}

void CTapiMonitor::ShowExtLineInfo(HTREEITEM hItem) {
    if (CLineDevCaps* pLine = LineOfItem(Group(ELineGroup::Ext).byItem, hItem)) ShowLineInfo(pLine);
}
void CTapiMonitor::ShowCoLineInfo(HTREEITEM hItem) {
    if (CLineDevCaps* pLine = LineOfItem(Group(ELineGroup::Co).byItem, hItem)) ShowLineInfo(pLine);
}
void CTapiMonitor::ShowEtcLineInfo(HTREEITEM hItem) {
    if (CLineDevCaps* pLine = LineOfItem(Group(ELineGroup::Etc).byItem, hItem)) ShowLineInfo(pLine);
}

void CTapiMonitor::ShowLineInfo(CLineDevCaps* pLine) {
    if (!pLine) return;
    // Each report ends with its own line end; a fetch that fails adds nothing.
    std::string strText;
    if (const auto pCaps = FetchDevCaps(pLine->m_dwDeviceID)) strText += pCaps->Report(0);
    if (pLine->m_hLine != 0) {
        if (const auto pStatus = FetchDevStatus(pLine->m_hLine)) strText += pStatus->Report(0);
    }
    if (const auto pAddressCaps = FetchAddressCaps(pLine->m_dwDeviceID, 0)) strText += pAddressCaps->Report(0);
    if (pLine->m_hLine != 0) {
        if (const auto pAddressStatus = FetchAddressStatus(pLine->m_hLine, 0)) strText += pAddressStatus->Report(0);
    }
    ShowText(strText);
}

void CTapiMonitor::ShowExtCallInfo(HTREEITEM hItem) {
    if (const HCALL hCall = CallOfItem(Group(ELineGroup::Ext).pTree, hItem)) ShowCallInfo(hCall);
}
void CTapiMonitor::ShowCoCallInfo(HTREEITEM hItem) {
    if (const HCALL hCall = CallOfItem(Group(ELineGroup::Co).pTree, hItem)) ShowCallInfo(hCall);
}
void CTapiMonitor::ShowEtcCallInfo(HTREEITEM hItem) {
    if (const HCALL hCall = CallOfItem(Group(ELineGroup::Etc).pTree, hItem)) ShowCallInfo(hCall);
}

void CTapiMonitor::ShowCallInfo(HCALL hCall) {
    std::string strText;
    if (const auto pInfo = FetchCallInfo(hCall)) strText += pInfo->Report(0);
    if (const auto pStatus = FetchCallStatus(hCall)) strText += pStatus->Report(0);
    ShowText(strText);
}
