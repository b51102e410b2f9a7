// TAPI's events: the callback, and the monitor's handlers that keep the call
// tables and call items up to date and write the event log.
#include "monitor/CommandIds.h"
#include "monitor/MonitorApp.h"
#include "monitor/TapiMonitor.h"
#include "monitor/TreeCtrl.h"
#include "reports/Snapshots.h"
#include "reports/TapiNames.h"
#include "tapi/TapiEntry.h"

namespace {

// The LINECALLINFOSTATE bits whose change the call items show and the log records.
constexpr DWORD kShownCallInfoStates = LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLEDID |
                                       LINECALLINFOSTATE_CONNECTEDID | LINECALLINFOSTATE_TRUNK |
                                       LINECALLINFOSTATE_ORIGIN | LINECALLINFOSTATE_REASON |
                                       LINECALLINFOSTATE_REDIRECTIONID | LINECALLINFOSTATE_REDIRECTINGID;

}  // namespace

void CALLBACK LineCallback(DWORD hDevice, DWORD dwMessage, DWORD_PTR dwCallbackInstance, DWORD_PTR dwParam1,
                           DWORD_PTR dwParam2, DWORD_PTR dwParam3) {
    CMonitorApp* pApp = GetMonitorApp();
    // The tables are half built while start-up runs: drop everything.
    if (!pApp || pApp->m_bTapiStarting) return;
    CTapiMonitor* pMonitor = pApp->GetActiveMonitor();
    if (!pMonitor) return;

    // TAPI's values are 32-bit whatever the width of the callback's parameters.
    const DWORD p1 = static_cast<DWORD>(dwParam1);
    const DWORD p2 = static_cast<DWORD>(dwParam2);
    const DWORD p3 = static_cast<DWORD>(dwParam3);
    switch (dwMessage) {
        case LINE_CALLINFO:
            pMonitor->OnLineCallInfo(hDevice, dwCallbackInstance, p1, p2, p3);
            break;
        case LINE_CALLSTATE:
            pMonitor->OnLineCallState(hDevice, dwCallbackInstance, p1, p2, p3);
            break;
        case LINE_LINEDEVSTATE:
            pMonitor->OnLineDevState(hDevice, dwCallbackInstance, p1, p2, p3);
            break;
        case LINE_REPLY:
            pMonitor->OnLineReply(hDevice, dwCallbackInstance, p1, p2, p3);
            break;
        case LINE_APPNEWCALL:
            pMonitor->OnLineAppNewCall(hDevice, dwCallbackInstance, p1, p2, p3);
            break;
        default:
            break;
    }
    pApp->UpdateAllViews();
}

void CTapiMonitor::OnLineReply(DWORD /*hDevice*/, DWORD_PTR /*dwCallbackInstance*/, DWORD dwParam1, DWORD dwParam2,
                               DWORD /*dwParam3*/) {
    const DWORD dwRequest = dwParam1;
    // A request identifier is positive, so 0 (nothing pending) never matches.
    if (dwRequest == 0) return;
    if (dwRequest == m_dwMakeCallRequest) {
        if (dwParam2 == 0) OnLineAppNewCall(m_hMakeCallLine, 0, 0, m_hMakeCallCall, 0);
        m_hMakeCallCall = 0;
        m_hMakeCallLine = 0;
        m_dwMakeCallRequest = 0;
    } else if (dwRequest == m_dwAnswerRequest) {
        m_dwAnswerRequest = 0;
    } else if (dwRequest == m_dwDropRequest) {
        m_dwDropRequest = 0;
    }
}

void CTapiMonitor::OnLineAppNewCall(DWORD hDevice, DWORD_PTR /*dwCallbackInstance*/, DWORD /*dwParam1*/, DWORD dwParam2,
                                    DWORD /*dwParam3*/) {
    const HLINE hLine = hDevice;
    const HCALL hCall = dwParam2;
    // A call already known has its node: a second one would be left behind
    // when the call goes, and its handle deallocated again with its line.
    for (ELineGroup eGroup : kLineGroups) {
        if (Group(eGroup).calls.count(hCall) != 0) return;
    }
    for (ELineGroup eGroup : kLineGroups) {
        const CGroup group = Group(eGroup);
        const auto itLine = group.byLine.find(hLine);
        if (itLine == group.byLine.end()) continue;
        const HTREEITEM hNode = InsertCallNode(hCall, itLine->second, group.pTree);
        // A call without a node (no tree registered yet) cannot be shown or
        // removed, so it stays out of the table.
        if (hNode) group.calls[hCall] = hNode;
    }
}

HTREEITEM CTapiMonitor::InsertCallNode(HCALL hCall, CLineDevCaps* pLine, CTreeCtrl* pTree) {
    if (!pTree || !pLine || !pLine->m_hItem) return nullptr;
    const HTREEITEM hNode = pTree->InsertItem("NEW", pLine->m_hItem);
    if (!hNode) return nullptr;
    pTree->SetItemData(hNode, hCall);
    pTree->Expand(pLine->m_hItem, TVE_EXPAND);
    pTree->EnsureVisible(hNode);
    UpdateCallDetails(hCall, pTree, hNode);
    return hNode;
}

void CTapiMonitor::OnLineDevState(DWORD hDevice, DWORD_PTR /*dwCallbackInstance*/, DWORD dwParam1, DWORD /*dwParam2*/,
                                  DWORD /*dwParam3*/) {
    if (dwParam1 == LINEDEVSTATE_OUTOFSERVICE) {
        WriteLog("OUTOFSERVICE");
        for (ELineGroup eGroup : kLineGroups) {
            const CGroup group = Group(eGroup);
            const auto itLine = group.byLine.find(hDevice);
            if (itLine == group.byLine.end() || !group.pTree || !itLine->second->m_hItem) continue;
            // The line stays; its calls go. Step to the next call before
            // deleting the current one.
            HTREEITEM hChild = group.pTree->GetChildItem(itLine->second->m_hItem);
            while (hChild) {
                const HCALL hCall = static_cast<HCALL>(group.pTree->GetItemData(hChild));
                if (hCall != 0) {
                    tapi::lineDeallocateCall(hCall);
                    group.calls.erase(hCall);
                }
                const HTREEITEM hNext = group.pTree->GetNextSiblingItem(hChild);
                group.pTree->DeleteItem(hChild);
                hChild = hNext;
            }
        }
    } else if (dwParam1 == LINEDEVSTATE_REINIT) {
        WriteLog("REINIT");
        Shutdown();
        CMonitorApp* pApp = GetMonitorApp();
        if (!pApp) return;
        const BOOL bRetry = pApp->AskYesNo("TAPI Reinit.\nRetry?");
        pApp->PostCommand(bRetry ? ID_FILE_NEW : ID_FILE_CLOSE);
    }
}

void CTapiMonitor::OnLineCallState(DWORD hDevice, DWORD_PTR /*dwCallbackInstance*/, DWORD dwParam1, DWORD dwParam2,
                                   DWORD dwParam3) {
    const HCALL hCall = hDevice;
    std::string strText = CallStateName(dwParam1);
    const std::string strMode = CallStateModeName(dwParam1, dwParam2);
    if (!strMode.empty()) strText += " - " + strMode;
    if (dwParam3 == LINECALLPRIVILEGE_MONITOR) {
        strText += " - (NONITOR)";
    } else if (dwParam3 == LINECALLPRIVILEGE_OWNER) {
        strText += " - (OWNER)";
    }

    for (ELineGroup eGroup : kLineGroups) {
        const CGroup group = Group(eGroup);
        const auto itCall = group.calls.find(hCall);
        if (itCall == group.calls.end()) continue;
        const HTREEITEM hNode = itCall->second;
        CTreeCtrl* pTree = group.pTree;
        LogCallState(pTree, hNode, strText);
        if (dwParam1 == LINECALLSTATE_IDLE) {
            tapi::lineDeallocateCall(hCall);
            if (pTree) pTree->DeleteItem(hNode);
            group.calls.erase(itCall);
        } else if (pTree) {
            pTree->SetItemText(hNode, strText);
            pTree->EnsureVisible(pTree->GetParentItem(hNode));
            UpdateCallDetails(hCall, pTree, hNode);
        }
    }
}

void CTapiMonitor::OnLineCallInfo(DWORD hDevice, DWORD_PTR /*dwCallbackInstance*/, DWORD dwParam1, DWORD /*dwParam2*/,
                                  DWORD /*dwParam3*/) {
    if ((dwParam1 & kShownCallInfoStates) == 0) return;
    const HCALL hCall = hDevice;
    // Names one state only; several bits at once give the empty text.
    const std::string strState = CallInfoStateName(dwParam1);

    for (ELineGroup eGroup : kLineGroups) {
        const CGroup group = Group(eGroup);
        const auto itCall = group.calls.find(hCall);
        if (itCall == group.calls.end()) continue;
        const HTREEITEM hNode = itCall->second;
        UpdateCallDetails(hCall, group.pTree, hNode);
        LogCallInfo(hCall, group.pTree, hNode, strState);
    }
}
