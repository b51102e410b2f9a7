// The ten detail items under a call item: built once, with the moment the call
// was first seen, then refreshed in place from a fresh LINECALLINFO.
#include "monitor/TapiMonitor.h"
#include "monitor/TreeCtrl.h"
#include "reports/LineCallInfo.h"

namespace {

constexpr int kDetailCount = 10;

// The labels carry their own blanks; the value follows directly.
constexpr const char* kDetailLabels[kDetailCount] = {
    "Create Time        = ",
    "Caller ID    = ",
    "Called ID    = ",
    "Connected ID = ",
    "Trunk = ",
    "Origin = ",
    "Reason = ",
    "RedirectionID = ",
    "RedirectingID = ",
    "DID/DDI = ",
};

}  // namespace

void CTapiMonitor::UpdateCallDetails(HCALL hCall, CTreeCtrl* pTree, HTREEITEM hCallItem) {
    if (!pTree || !hCallItem) return;
    const std::unique_ptr<CLineCallInfo> pInfo = FetchCallInfo(hCall);
    if (!pInfo) return;

    // Items 2 to 10; the creation time (item 1) is only ever written once.
    const std::string values[kDetailCount - 1] = {
        pInfo->GetCallerID(),      pInfo->GetCalledID(),      pInfo->GetConnectedID(),
        pInfo->GetTrunkText(),     pInfo->GetOriginText(),    pInfo->GetReasonText(),
        pInfo->GetRedirectionID(), pInfo->GetRedirectingID(), pInfo->GetDidDdiText(),
    };

    if (!pTree->ItemHasChildren(hCallItem)) {
        pTree->InsertItem(kDetailLabels[0] + GetTimestamp(), hCallItem);
        for (int i = 1; i < kDetailCount; ++i) pTree->InsertItem(kDetailLabels[i] + values[i - 1], hCallItem);
        pTree->Expand(hCallItem, TVE_EXPAND);
        return;
    }

    // Refresh: leave the creation time and the expansion as they are (a user
    // may have collapsed the call).
    HTREEITEM hDetail = pTree->GetChildItem(hCallItem);
    for (int i = 1; i < kDetailCount && hDetail; ++i) {
        hDetail = pTree->GetNextSiblingItem(hDetail);
        if (hDetail) pTree->SetItemText(hDetail, kDetailLabels[i] + values[i - 1]);
    }
}
