// Construction and accessors of the LINEDEVSTATUS, LINEADDRESSCAPS and
// LINEADDRESSSTATUS snapshots (their reports are in LineReports.cpp).
#include <cstddef>
#include <cstring>

#include "reports/LineAddressCaps.h"
#include "reports/LineAddressStatus.h"
#include "reports/LineDevStatus.h"
#include "tapi/TapiAbi.h"

CLineDevStatus::CLineDevStatus(const void* pStruct, const void* pBase) : CTapiSnapshot(pStruct, pBase) {
    using S = LINEDEVSTATUS;
    m_dwNumOpens = ReadField(offsetof(S, dwNumOpens));
    m_dwOpenMediaModes = ReadField(offsetof(S, dwOpenMediaModes));
    m_dwNumActiveCalls = ReadField(offsetof(S, dwNumActiveCalls));
    m_dwNumOnHoldCalls = ReadField(offsetof(S, dwNumOnHoldCalls));
    m_dwNumOnHoldPendCalls = ReadField(offsetof(S, dwNumOnHoldPendCalls));
    m_dwLineFeatures = ReadField(offsetof(S, dwLineFeatures));
    m_dwNumCallCompletions = ReadField(offsetof(S, dwNumCallCompletions));
    m_dwRingMode = ReadField(offsetof(S, dwRingMode));
    m_dwSignalLevel = ReadField(offsetof(S, dwSignalLevel));
    m_dwBatteryLevel = ReadField(offsetof(S, dwBatteryLevel));
    m_dwRoamMode = ReadField(offsetof(S, dwRoamMode));
    m_dwDevStatusFlags = ReadField(offsetof(S, dwDevStatusFlags));
    m_nTerminalModesLeftOut = ReadDwordList(m_terminalModes, ReadField(offsetof(S, dwTerminalModesOffset)),
                                            ReadField(offsetof(S, dwTerminalModesSize)));
    m_dwDevSpecificSize = ReadField(offsetof(S, dwDevSpecificSize));
    m_pDevSpecific = ReadBytes(offsetof(S, dwDevSpecificSize));
    m_dwAvailableMediaModes = ReadField(offsetof(S, dwAvailableMediaModes));
    m_nAppInfoLeftOut = ReadRecords(m_appInfo, m_dwNumOpens, ReadField(offsetof(S, dwAppInfoSize)),
                                    ReadField(offsetof(S, dwAppInfoOffset)), sizeof(LINEAPPINFO));
    ForgetBuffer();
}

CLineDevStatus::~CLineDevStatus() = default;

CLineAddressCaps::CLineAddressCaps(const void* pStruct, const void* pBase, DWORD dwAPIVersion)
    : CTapiSnapshot(pStruct, pBase) {
    using S = LINEADDRESSCAPS;
    // API 1.4 ends before dwPredictiveAutoTransferStates, 1.3 also before
    // dwAddressFeatures.
    if (dwAPIVersion < TAPI_VERSION_1_4)
        LimitFixedPart(offsetof(S, dwAddressFeatures));
    else if (dwAPIVersion < TAPI_VERSION_2_0)
        LimitFixedPart(offsetof(S, dwPredictiveAutoTransferStates));
    m_dwLineDeviceID = ReadField(offsetof(S, dwLineDeviceID));
    m_strAddress = ReadText(offsetof(S, dwAddressSize));
    m_dwDevSpecificSize = ReadField(offsetof(S, dwDevSpecificSize));
    m_pDevSpecific = ReadBytes(offsetof(S, dwDevSpecificSize));
    m_dwAddressSharing = ReadField(offsetof(S, dwAddressSharing));
    m_dwAddressStates = ReadField(offsetof(S, dwAddressStates));
    m_dwCallInfoStates = ReadField(offsetof(S, dwCallInfoStates));
    m_dwCallerIDFlags = ReadField(offsetof(S, dwCallerIDFlags));
    m_dwCalledIDFlags = ReadField(offsetof(S, dwCalledIDFlags));
    m_dwConnectedIDFlags = ReadField(offsetof(S, dwConnectedIDFlags));
    m_dwRedirectionIDFlags = ReadField(offsetof(S, dwRedirectionIDFlags));
    m_dwRedirectingIDFlags = ReadField(offsetof(S, dwRedirectingIDFlags));
    m_dwCallStates = ReadField(offsetof(S, dwCallStates));
    m_dwDialToneModes = ReadField(offsetof(S, dwDialToneModes));
    m_dwBusyModes = ReadField(offsetof(S, dwBusyModes));
    m_dwSpecialInfo = ReadField(offsetof(S, dwSpecialInfo));
    m_dwDisconnectModes = ReadField(offsetof(S, dwDisconnectModes));
    m_dwMaxNumActiveCalls = ReadField(offsetof(S, dwMaxNumActiveCalls));
    m_dwMaxNumOnHoldCalls = ReadField(offsetof(S, dwMaxNumOnHoldCalls));
    m_dwMaxNumOnHoldPendingCalls = ReadField(offsetof(S, dwMaxNumOnHoldPendingCalls));
    m_dwMaxNumConference = ReadField(offsetof(S, dwMaxNumConference));
    m_dwMaxNumTransConf = ReadField(offsetof(S, dwMaxNumTransConf));
    m_dwAddrCapFlags = ReadField(offsetof(S, dwAddrCapFlags));
    m_dwCallFeatures = ReadField(offsetof(S, dwCallFeatures));
    m_dwRemoveFromConfCaps = ReadField(offsetof(S, dwRemoveFromConfCaps));
    m_dwRemoveFromConfState = ReadField(offsetof(S, dwRemoveFromConfState));
    m_dwTransferModes = ReadField(offsetof(S, dwTransferModes));
    m_dwParkModes = ReadField(offsetof(S, dwParkModes));
    m_dwForwardModes = ReadField(offsetof(S, dwForwardModes));
    m_dwMaxForwardEntries = ReadField(offsetof(S, dwMaxForwardEntries));
    m_dwMaxSpecificEntries = ReadField(offsetof(S, dwMaxSpecificEntries));
    m_dwMinFwdNumRings = ReadField(offsetof(S, dwMinFwdNumRings));
    m_dwMaxFwdNumRings = ReadField(offsetof(S, dwMaxFwdNumRings));
    m_dwMaxCallCompletions = ReadField(offsetof(S, dwMaxCallCompletions));
    m_dwCallCompletionConds = ReadField(offsetof(S, dwCallCompletionConds));
    m_dwCallCompletionModes = ReadField(offsetof(S, dwCallCompletionModes));
    m_dwNumCompletionMessages = ReadField(offsetof(S, dwNumCompletionMessages));
    m_nCompletionMsgsLeftOut = ReadTextEntries(
        m_completionMsgs, m_dwNumCompletionMessages, ReadField(offsetof(S, dwCompletionMsgTextSize)),
        ReadField(offsetof(S, dwCompletionMsgTextEntrySize)), ReadField(offsetof(S, dwCompletionMsgTextOffset)));
    m_dwAddressFeatures = ReadField(offsetof(S, dwAddressFeatures));
    m_dwPredictiveAutoTransferStates = ReadField(offsetof(S, dwPredictiveAutoTransferStates));
    m_nCallTreatmentsLeftOut = ReadRecords(
        m_callTreatments, ReadField(offsetof(S, dwNumCallTreatments)), ReadField(offsetof(S, dwCallTreatmentListSize)),
        ReadField(offsetof(S, dwCallTreatmentListOffset)), sizeof(LINECALLTREATMENTENTRY));
    // A list of NUL-separated class names: only the first one survives.
    m_strDeviceClasses = ReadText(offsetof(S, dwDeviceClassesSize));
    m_dwMaxCallDataSize = ReadField(offsetof(S, dwMaxCallDataSize));
    m_dwCallFeatures2 = ReadField(offsetof(S, dwCallFeatures2));
    m_dwMaxNoAnswerTimeout = ReadField(offsetof(S, dwMaxNoAnswerTimeout));
    m_dwConnectedModes = ReadField(offsetof(S, dwConnectedModes));
    m_dwOfferingModes = ReadField(offsetof(S, dwOfferingModes));
    m_dwAvailableMediaModes = ReadField(offsetof(S, dwAvailableMediaModes));
    // Right-aligned in four characters with '0' on the left; longer stays whole.
    if (!m_strAddress.empty())
        m_strPaddedAddress =
            m_strAddress.size() < 4 ? std::string(4 - m_strAddress.size(), '0') + m_strAddress : m_strAddress;
    ForgetBuffer();
}

CLineAddressCaps::~CLineAddressCaps() = default;

CLineAddressStatus::CLineAddressStatus(const void* pStruct, const void* pBase) : CTapiSnapshot(pStruct, pBase) {
    using S = LINEADDRESSSTATUS;
    m_dwNumInUse = ReadField(offsetof(S, dwNumInUse));
    m_dwNumActiveCalls = ReadField(offsetof(S, dwNumActiveCalls));
    m_dwNumOnHoldCalls = ReadField(offsetof(S, dwNumOnHoldCalls));
    m_dwNumOnHoldPendCalls = ReadField(offsetof(S, dwNumOnHoldPendCalls));
    m_dwAddressFeatures = ReadField(offsetof(S, dwAddressFeatures));
    m_dwNumRingsNoAnswer = ReadField(offsetof(S, dwNumRingsNoAnswer));
    m_nForwardsLeftOut =
        ReadRecords(m_forwards, ReadField(offsetof(S, dwForwardNumEntries)), ReadField(offsetof(S, dwForwardSize)),
                    ReadField(offsetof(S, dwForwardOffset)), sizeof(LINEFORWARD));
    m_nTerminalModesLeftOut = ReadDwordList(m_terminalModes, ReadField(offsetof(S, dwTerminalModesOffset)),
                                            ReadField(offsetof(S, dwTerminalModesSize)));
    m_dwDevSpecificSize = ReadField(offsetof(S, dwDevSpecificSize));
    m_dwDevSpecificOffset = ReadField(offsetof(S, dwDevSpecificOffset));
    m_pDevSpecific = ReadBytes(offsetof(S, dwDevSpecificSize));
    ForgetBuffer();
}

CLineAddressStatus::~CLineAddressStatus() = default;

std::string CLineAddressStatus::GetExtDisplayName() const {
    return GetDisplayName(52, 28, 32);
}

std::string CLineAddressStatus::GetCoDisplayName() const {
    return GetDisplayName(8, 0, 4);
}

std::string CLineAddressStatus::GetEtcDisplayName() const {
    return GetDisplayName(32, 24, 28);
}

std::string CLineAddressStatus::GetDisplayName(DWORD cbMinimum, DWORD cbLengthAt, DWORD cbOffsetAt) const {
    if (m_dwDevSpecificSize < cbMinimum || m_pDevSpecific.size() < cbMinimum) return {};
    DWORD dwLength = 0;
    DWORD dwOffset = 0;
    std::memcpy(&dwLength, m_pDevSpecific.data() + cbLengthAt, 4);
    std::memcpy(&dwOffset, m_pDevSpecific.data() + cbOffsetAt, 4);
    // The offset counts from the structure's start, but only the copied
    // device-specific part is at hand: a name outside it gives nothing.
    if (dwOffset < m_dwDevSpecificOffset) return {};
    const std::uint64_t at = dwOffset - m_dwDevSpecificOffset;
    if (at + dwLength > m_pDevSpecific.size()) return {};
    return MakeString(m_pDevSpecific.data() + at, dwLength);
}
