#include "reports/LineCallInfo.h"

#include <cstddef>
#include <cstring>

#include "reports/TapiNames.h"
#include "tapi/TapiAbi.h"

namespace {

// Where the maker's provider keeps the DID/DDI digits in the device-specific
// part of LINECALLINFO: a length and an offset from the structure's start.
constexpr DWORD kDidPartMinimum = 60;
constexpr std::size_t kDidLengthAt = 12;
constexpr std::size_t kDidOffsetAt = 16;

DWORD DwordAt(const std::vector<BYTE>& block, std::size_t at) {
    DWORD dwValue = 0;
    if (at + 4 <= block.size()) std::memcpy(&dwValue, block.data() + at, 4);
    return dwValue;
}

}  // namespace

CLineCallInfo::CLineCallInfo(const void* pStruct, const void* pBase) : CTapiSnapshot(pStruct, pBase) {
    using S = LINECALLINFO;
    m_hLine = ReadField(offsetof(S, hLine));
    m_dwLineDeviceID = ReadField(offsetof(S, dwLineDeviceID));
    m_dwAddressID = ReadField(offsetof(S, dwAddressID));
    m_dwBearerMode = ReadField(offsetof(S, dwBearerMode));
    m_dwRate = ReadField(offsetof(S, dwRate));
    m_dwMediaMode = ReadField(offsetof(S, dwMediaMode));
    m_dwAppSpecific = ReadField(offsetof(S, dwAppSpecific));
    m_dwCallID = ReadField(offsetof(S, dwCallID));
    m_dwRelatedCallID = ReadField(offsetof(S, dwRelatedCallID));
    m_dwCallParamFlags = ReadField(offsetof(S, dwCallParamFlags));
    m_dwCallStates = ReadField(offsetof(S, dwCallStates));
    m_dwMonitorDigitModes = ReadField(offsetof(S, dwMonitorDigitModes));
    m_dwMonitorMediaModes = ReadField(offsetof(S, dwMonitorMediaModes));
    if (const BYTE* pDial = FixedPartPointer(offsetof(S, DialParams)))
        m_DialParams = CLineDialParams(pDial, m_pBase, Readable());
    m_dwOrigin = ReadField(offsetof(S, dwOrigin));
    m_dwReason = ReadField(offsetof(S, dwReason));
    m_dwCompletionID = ReadField(offsetof(S, dwCompletionID));
    m_dwNumOwners = ReadField(offsetof(S, dwNumOwners));
    m_dwNumMonitors = ReadField(offsetof(S, dwNumMonitors));
    m_dwCountryCode = ReadField(offsetof(S, dwCountryCode));
    m_dwTrunk = ReadField(offsetof(S, dwTrunk));
    m_dwCallerIDFlags = ReadField(offsetof(S, dwCallerIDFlags));
    m_strCallerID = ReadText(offsetof(S, dwCallerIDSize));
    m_strCallerIDName = ReadText(offsetof(S, dwCallerIDNameSize));
    m_dwCalledIDFlags = ReadField(offsetof(S, dwCalledIDFlags));
    m_strCalledID = ReadText(offsetof(S, dwCalledIDSize));
    m_strCalledIDName = ReadText(offsetof(S, dwCalledIDNameSize));
    m_dwConnectedIDFlags = ReadField(offsetof(S, dwConnectedIDFlags));
    m_strConnectedID = ReadText(offsetof(S, dwConnectedIDSize));
    m_strConnectedIDName = ReadText(offsetof(S, dwConnectedIDNameSize));
    m_dwRedirectionIDFlags = ReadField(offsetof(S, dwRedirectionIDFlags));
    m_strRedirectionID = ReadText(offsetof(S, dwRedirectionIDSize));
    m_strRedirectionIDName = ReadText(offsetof(S, dwRedirectionIDNameSize));
    m_dwRedirectingIDFlags = ReadField(offsetof(S, dwRedirectingIDFlags));
    m_strRedirectingID = ReadText(offsetof(S, dwRedirectingIDSize));
    m_strRedirectingIDName = ReadText(offsetof(S, dwRedirectingIDNameSize));
    m_strAppName = ReadText(offsetof(S, dwAppNameSize));
    m_strDisplayableAddress = ReadText(offsetof(S, dwDisplayableAddressSize));
    m_strCalledParty = ReadText(offsetof(S, dwCalledPartySize));
    m_strComment = ReadText(offsetof(S, dwCommentSize));
    m_strDisplay = ReadText(offsetof(S, dwDisplaySize));
    m_strUserUserInfo = ReadText(offsetof(S, dwUserUserInfoSize));
    m_strHighLevelComp = ReadText(offsetof(S, dwHighLevelCompSize));
    m_strLowLevelComp = ReadText(offsetof(S, dwLowLevelCompSize));
    m_strChargingInfo = ReadText(offsetof(S, dwChargingInfoSize));
    m_strTerminalModes = ReadText(offsetof(S, dwTerminalModesSize));
    m_dwDevSpecificSize = ReadField(offsetof(S, dwDevSpecificSize));
    m_dwDevSpecificOffset = ReadField(offsetof(S, dwDevSpecificOffset));
    m_pDevSpecific = ReadBytes(offsetof(S, dwDevSpecificSize));
    m_dwCallTreatment = ReadField(offsetof(S, dwCallTreatment));
    m_dwCallDataSize = ReadField(offsetof(S, dwCallDataSize));
    m_pCallData = ReadBytes(offsetof(S, dwCallDataSize));
    m_dwSendingFlowspecSize = ReadField(offsetof(S, dwSendingFlowspecSize));
    m_pSendingFlowspec = ReadBytes(offsetof(S, dwSendingFlowspecSize));
    m_dwReceivingFlowspecSize = ReadField(offsetof(S, dwReceivingFlowspecSize));
    m_pReceivingFlowspec = ReadBytes(offsetof(S, dwReceivingFlowspecSize));
    ForgetBuffer();
}

std::string CLineCallInfo::GetTrunkText() const {
    if (m_dwTrunk == 0xFFFFFFFF) return {};
    return std::to_string(static_cast<std::int32_t>(m_dwTrunk));
}

std::string CLineCallInfo::GetOriginText() const {
    return CallOriginText(m_dwOrigin);
}

std::string CLineCallInfo::GetReasonText() const {
    return CallReasonText(m_dwReason);
}

std::string CLineCallInfo::GetDidDdiText() const {
    if (m_dwDevSpecificSize < kDidPartMinimum) return {};
    // Only the copied part is at hand: digits the provider placed elsewhere
    // (or an offset before the part) give nothing rather than a stray read.
    const DWORD dwLength = DwordAt(m_pDevSpecific, kDidLengthAt);
    const DWORD dwOffset = DwordAt(m_pDevSpecific, kDidOffsetAt);
    if (dwOffset < m_dwDevSpecificOffset) return {};
    const std::uint64_t at = dwOffset - m_dwDevSpecificOffset;
    if (at + dwLength > m_pDevSpecific.size()) return {};
    return MakeString(m_pDevSpecific.data() + at, dwLength);
}

std::string CLineCallInfo::GetLogFields() const {
    std::string strFields;
    for (const std::string& strField : {m_strCallerID, m_strCalledID, m_strConnectedID, GetOriginText(),
                                        GetReasonText(), m_strRedirectionID, m_strRedirectingID}) {
        strFields += strField;
        strFields += ',';
    }
    return strFields;
}

namespace {

void AppendBlock(std::string& strReport, int nLevel, std::string_view sizeName, DWORD dwSize,
                 const std::vector<BYTE>& block) {
    // The size line shows what the provider wrote; the dump shows what could be read.
    AppendValueLine(strReport, nLevel, sizeName, dwSize);
    strReport += HexDumpText(block.data(), static_cast<DWORD>(block.size()), nLevel + 2);
    strReport += kLineEnd;
}

}  // namespace

std::string CLineCallInfo::Report(int nLevel) const {
    std::string r;
    r.reserve(4096);
    const int L = nLevel;
    AppendHeaderLine(r, L, "LINECALLINFO");
    AppendValueLine(r, L, "dwLineDeviceID", m_dwLineDeviceID);
    AppendValueLine(r, L, "dwAddressID", m_dwAddressID);
    AppendValueLine(r, L, "dwBearerMode", m_dwBearerMode, BearerModesText(m_dwBearerMode));
    AppendValueLine(r, L, "dwRate", m_dwRate);
    AppendValueLine(r, L, "dwMediaMode", m_dwMediaMode, MediaModesText(m_dwMediaMode));
    AppendValueLine(r, L, "dwAppSpecific", m_dwAppSpecific);
    AppendValueLine(r, L, "dwCallID", m_dwCallID);
    AppendValueLine(r, L, "dwRelatedCallID", m_dwRelatedCallID);
    AppendValueLine(r, L, "dwCallParamFlags", m_dwCallParamFlags, CallParamFlagsText(m_dwCallParamFlags));
    AppendValueLine(r, L, "dwCallStates", m_dwCallStates, CallStatesText(m_dwCallStates));
    AppendValueLine(r, L, "dwMonitorDigitModes", m_dwMonitorDigitModes, MonitorDigitModesText(m_dwMonitorDigitModes));
    AppendValueLine(r, L, "dwMonitorMediaModes", m_dwMonitorMediaModes, MediaModesText(m_dwMonitorMediaModes));
    AppendLabel(r, L, "DialParams");
    r += m_DialParams.Report(L + 1);
    r += kLineEnd;
    AppendValueLine(r, L, "dwOrigin", m_dwOrigin, CallOriginText(m_dwOrigin));
    AppendValueLine(r, L, "dwReason", m_dwReason, CallReasonText(m_dwReason));
    AppendValueLine(r, L, "dwCompletionID", m_dwCompletionID);
    AppendValueLine(r, L, "dwNumOwners", m_dwNumOwners);
    AppendValueLine(r, L, "dwNumMonitors", m_dwNumMonitors);
    AppendValueLine(r, L, "dwCountryCode", m_dwCountryCode);
    AppendValueLine(r, L, "dwTrunk", m_dwTrunk);
    AppendValueLine(r, L, "dwCallerIDFlags", m_dwCallerIDFlags, PartyIDFlagsText(m_dwCallerIDFlags));
    AppendTextLine(r, L, "CallerID", m_strCallerID);
    AppendTextLine(r, L, "CallerIDName", m_strCallerIDName);
    AppendValueLine(r, L, "dwCalledIDFlags", m_dwCalledIDFlags, PartyIDFlagsText(m_dwCalledIDFlags));
    AppendTextLine(r, L, "CalledID", m_strCalledID);
    AppendTextLine(r, L, "CalledIDName", m_strCalledIDName);
    AppendValueLine(r, L, "dwConnectedIDFlags", m_dwConnectedIDFlags, PartyIDFlagsText(m_dwConnectedIDFlags));
    AppendTextLine(r, L, "ConnectedID", m_strConnectedID);
    AppendTextLine(r, L, "ConnectedIDName", m_strConnectedIDName);
    AppendValueLine(r, L, "dwRedirectionIDFlags", m_dwRedirectionIDFlags, PartyIDFlagsText(m_dwRedirectionIDFlags));
    AppendTextLine(r, L, "RedirectionID", m_strRedirectionID);
    AppendTextLine(r, L, "RedirectionIDName", m_strRedirectionIDName);
    AppendValueLine(r, L, "dwRedirectingIDFlags", m_dwRedirectingIDFlags, PartyIDFlagsText(m_dwRedirectingIDFlags));
    AppendTextLine(r, L, "RedirectingID", m_strRedirectingID);
    AppendTextLine(r, L, "RedirectingIDName", m_strRedirectingIDName);
    AppendTextLine(r, L, "AppName", m_strAppName);
    AppendTextLine(r, L, "DisplayableAddress", m_strDisplayableAddress);
    AppendTextLine(r, L, "CalledParty", m_strCalledParty);
    AppendTextLine(r, L, "Comment", m_strComment);
    AppendTextLine(r, L, "Display", m_strDisplay);
    AppendTextLine(r, L, "UserUserInfo", m_strUserUserInfo);
    AppendTextLine(r, L, "HighLevelComp", m_strHighLevelComp);
    AppendTextLine(r, L, "LowLevelComp", m_strLowLevelComp);
    AppendTextLine(r, L, "ChargingInfo", m_strChargingInfo);
    AppendTextLine(r, L, "TerminalModes", m_strTerminalModes);
    AppendBlock(r, L, "dwDevSpecificSize", m_dwDevSpecificSize, m_pDevSpecific);
    AppendValueLine(r, L, "dwCallTreatment", m_dwCallTreatment);
    AppendBlock(r, L, "dwCallDataSize", m_dwCallDataSize, m_pCallData);
    AppendBlock(r, L, "dwSendingFlowspecSize", m_dwSendingFlowspecSize, m_pSendingFlowspec);
    AppendBlock(r, L, "dwReceivingFlowspecSize", m_dwReceivingFlowspecSize, m_pReceivingFlowspec);
    return r;
}
