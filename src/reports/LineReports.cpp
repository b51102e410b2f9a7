// The text reports of a line: LINEDEVCAPS, LINEDEVSTATUS, LINEADDRESSCAPS and
// LINEADDRESSSTATUS, with the LINETERMCAPS, LINEAPPINFO and LINEFORWARD
// entries they embed. The "Line Information" command shows the four top-level
// reports one after another, so each keeps its exact lines, including the
// empty ones that separate its blocks.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "reports/LineAddressCaps.h"
#include "reports/LineAddressStatus.h"
#include "reports/LineDevCaps.h"
#include "reports/LineDevStatus.h"
#include "reports/SubRecords.h"
#include "reports/TapiNames.h"

namespace {

// The size line shows what the provider wrote; the dump shows only the bytes
// the snapshot could copy (none when the block lay outside the structure).
void AppendDevSpecific(std::string& strReport, int nLevel, DWORD dwSize, const std::vector<BYTE>& block) {
    AppendValueLine(strReport, nLevel, "dwDevSpecificSize", dwSize);
    strReport += HexDumpText(block.data(), static_cast<DWORD>(block.size()), nLevel + 2);
    strReport += kLineEnd;
}

void AppendTerminalModes(std::string& strReport, int nLevel, const std::vector<DWORD>& modes, std::size_t nLeftOut) {
    for (std::size_t i = 0; i < modes.size(); ++i) {
        AppendListEntryLine(strReport, nLevel, "TerminalMode", i, modes[i], TermModeName(modes[i]));
    }
    AppendLeftOutLine(strReport, nLevel, "TerminalMode", modes.size(), nLeftOut);
}

// indent, "    label[i] = ", the text as it stands, CR LF (no quotes).
void AppendTextEntries(std::string& strReport, int nLevel, std::string_view label,
                       const std::vector<std::string>& texts, std::size_t nLeftOut) {
    for (std::size_t i = 0; i < texts.size(); ++i) {
        AppendLabel(strReport, nLevel, label, i);
        strReport += texts[i];
        strReport += kLineEnd;
    }
    AppendLeftOutLine(strReport, nLevel, label, texts.size(), nLeftOut);
}

// Each non-null entry as "    label[i] = " with its sub-report at nLevel + 1
// on the same line; bEndLine adds the CR LF that leaves an empty line after
// it. A record that could not be allocated is left out, keeping its index.
// Then the line about the entries the snapshot did not keep, if any.
template <typename T>
void AppendSubReports(std::string& strReport, int nLevel, std::string_view label,
                      const std::vector<std::unique_ptr<T>>& records, std::size_t nLeftOut, bool bEndLine) {
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (!records[i]) continue;
        AppendLabel(strReport, nLevel, label, i);
        strReport += records[i]->Report(nLevel + 1);
        if (bEndLine) strReport += kLineEnd;
    }
    AppendLeftOutLine(strReport, nLevel, label, records.size(), nLeftOut);
}

void AppendDialParams(std::string& strReport, int nLevel, std::string_view label, const CLineDialParams& params) {
    AppendLabel(strReport, nLevel, label);
    strReport += params.Report(nLevel + 1);
}

}  // namespace

std::string CLineDevCaps::Report(int nLevel) const {
    std::string strReport;
    AppendHeaderLine(strReport, nLevel, "LINEDEVCAPS");
    AppendTextLine(strReport, nLevel, "ProviderInfo", m_strProviderInfo);
    AppendTextLine(strReport, nLevel, "SwitchInfo", m_strSwitchInfo);
    AppendValueLine(strReport, nLevel, "dwPermanentLineID", m_dwPermanentLineID);
    AppendTextLine(strReport, nLevel, "LineName", m_strLineName);
    AppendValueLine(strReport, nLevel, "dwStringFormat", m_dwStringFormat, StringFormatName(m_dwStringFormat));
    AppendValueLine(strReport, nLevel, "dwAddressModes", m_dwAddressModes, AddressModeName(m_dwAddressModes));
    AppendValueLine(strReport, nLevel, "dwNumAddresses", m_dwNumAddresses);
    AppendValueLine(strReport, nLevel, "dwBearerModes", m_dwBearerModes, BearerModesText(m_dwBearerModes));
    AppendValueLine(strReport, nLevel, "dwMaxRate", m_dwMaxRate);
    AppendValueLine(strReport, nLevel, "dwMediaModes", m_dwMediaModes, MediaModesText(m_dwMediaModes));
    AppendValueLine(strReport, nLevel, "dwGenerateToneModes", m_dwGenerateToneModes,
                    ToneModesText(m_dwGenerateToneModes));
    AppendValueLine(strReport, nLevel, "dwGenerateToneMaxNumFreq", m_dwGenerateToneMaxNumFreq);
    AppendValueLine(strReport, nLevel, "dwGenerateDigitModes", m_dwGenerateDigitModes,
                    GenerateDigitModesText(m_dwGenerateDigitModes));
    AppendValueLine(strReport, nLevel, "dwMonitorToneMaxNumFreq", m_dwMonitorToneMaxNumFreq);
    AppendValueLine(strReport, nLevel, "dwMonitorToneMaxNumEntries", m_dwMonitorToneMaxNumEntries);
    AppendValueLine(strReport, nLevel, "dwMonitorDigitModes", m_dwMonitorDigitModes,
                    MonitorDigitModesText(m_dwMonitorDigitModes));
    AppendValueLine(strReport, nLevel, "dwGatherDigitsMinTimeout", m_dwGatherDigitsMinTimeout);
    AppendValueLine(strReport, nLevel, "dwGatherDigitsMaxTimeout", m_dwGatherDigitsMaxTimeout);
    AppendValueLine(strReport, nLevel, "dwMedCtlDigitMaxListSize", m_dwMedCtlDigitMaxListSize);
    AppendValueLine(strReport, nLevel, "dwMedCtlMediaMaxListSize", m_dwMedCtlMediaMaxListSize);
    AppendValueLine(strReport, nLevel, "dwMedCtlToneMaxListSize", m_dwMedCtlToneMaxListSize);
    AppendValueLine(strReport, nLevel, "dwMedCtlCallStateMaxListSize", m_dwMedCtlCallStateMaxListSize);
    AppendValueLine(strReport, nLevel, "dwDevCapFlags", m_dwDevCapFlags, DevCapFlagsText(m_dwDevCapFlags));
    AppendValueLine(strReport, nLevel, "dwMaxNumActiveCalls", m_dwMaxNumActiveCalls);
    AppendValueLine(strReport, nLevel, "dwAnswerMode", m_dwAnswerMode, AnswerModesText(m_dwAnswerMode));
    AppendValueLine(strReport, nLevel, "dwRingModes", m_dwRingModes);
    AppendValueLine(strReport, nLevel, "dwLineStates", m_dwLineStates, LineDevStatesText(m_dwLineStates));
    AppendValueLine(strReport, nLevel, "dwUUIAcceptSize", m_dwUUIAcceptSize);
    AppendValueLine(strReport, nLevel, "dwUUIAnswerSize", m_dwUUIAnswerSize);
    AppendValueLine(strReport, nLevel, "dwUUIMakeCallSize", m_dwUUIMakeCallSize);
    AppendValueLine(strReport, nLevel, "dwUUIDropSize", m_dwUUIDropSize);
    AppendValueLine(strReport, nLevel, "dwUUISendUserUserInfoSize", m_dwUUISendUserUserInfoSize);
    AppendValueLine(strReport, nLevel, "dwUUICallInfoSize", m_dwUUICallInfoSize);
    AppendDialParams(strReport, nLevel, "MinDialParams", m_MinDialParams);
    AppendDialParams(strReport, nLevel, "MaxDialParams", m_MaxDialParams);
    AppendDialParams(strReport, nLevel, "DefaultDialParams", m_DefaultDialParams);
    AppendSubReports(strReport, nLevel, "TerminalCaps", m_termCaps, m_nTermCapsLeftOut, true);
    strReport += kLineEnd;  // always, also without terminals
    AppendTextEntries(strReport, nLevel, "TerminalTexts", m_terminalTexts, m_nTerminalTextsLeftOut);
    AppendTextLine(strReport, nLevel, "LineName", m_strLineName);
    AppendDevSpecific(strReport, nLevel, m_dwDevSpecificSize, m_pDevSpecific);
    AppendValueLine(strReport, nLevel, "dwLineFeatures", m_dwLineFeatures, LineFeaturesText(m_dwLineFeatures));
    AppendValueLine(strReport, nLevel, "dwSettableDevStatus", m_dwSettableDevStatus,
                    DevStatusFlagsText(m_dwSettableDevStatus));
    AppendTextLine(strReport, nLevel, "DeviceClasses", m_strDeviceClasses);
    return strReport;
}

std::string CLineDevStatus::Report(int nLevel) const {
    std::string strReport;
    AppendHeaderLine(strReport, nLevel, "LINEDEVSTATUS");
    AppendValueLine(strReport, nLevel, "dwNumOpens", m_dwNumOpens);
    AppendValueLine(strReport, nLevel, "dwOpenMediaModes", m_dwOpenMediaModes, MediaModesText(m_dwOpenMediaModes));
    AppendValueLine(strReport, nLevel, "dwNumActiveCalls", m_dwNumActiveCalls);
    AppendValueLine(strReport, nLevel, "dwNumOnHoldCalls", m_dwNumOnHoldCalls);
    AppendValueLine(strReport, nLevel, "dwNumOnHoldPendCalls", m_dwNumOnHoldPendCalls);
    AppendValueLine(strReport, nLevel, "dwLineFeatures", m_dwLineFeatures, LineFeaturesText(m_dwLineFeatures));
    AppendValueLine(strReport, nLevel, "dwNumCallCompletions", m_dwNumCallCompletions);
    AppendValueLine(strReport, nLevel, "dwRingMode", m_dwRingMode);
    AppendValueLine(strReport, nLevel, "dwSignalLevel", m_dwSignalLevel);
    AppendValueLine(strReport, nLevel, "dwBatteryLevel", m_dwBatteryLevel);
    AppendValueLine(strReport, nLevel, "dwRoamMode", m_dwRoamMode, RoamModesText(m_dwRoamMode));
    AppendValueLine(strReport, nLevel, "dwDevStatusFlags", m_dwDevStatusFlags, DevStatusFlagsText(m_dwDevStatusFlags));
    AppendTerminalModes(strReport, nLevel, m_terminalModes, m_nTerminalModesLeftOut);
    AppendDevSpecific(strReport, nLevel, m_dwDevSpecificSize, m_pDevSpecific);
    AppendValueLine(strReport, nLevel, "dwAvailableMediaModes", m_dwAvailableMediaModes);
    AppendSubReports(strReport, nLevel, "AppInfo", m_appInfo, m_nAppInfoLeftOut, true);
    strReport += kLineEnd;  // the empty line that ends the report
    return strReport;
}

std::string CLineAddressCaps::Report(int nLevel) const {
    std::string strReport;
    AppendHeaderLine(strReport, nLevel, "LINEADDRESSCAPS");
    AppendValueLine(strReport, nLevel, "dwLineDeviceID", m_dwLineDeviceID);
    AppendTextLine(strReport, nLevel, "Address", m_strAddress);
    AppendDevSpecific(strReport, nLevel, m_dwDevSpecificSize, m_pDevSpecific);
    AppendValueLine(strReport, nLevel, "dwAddressSharing", m_dwAddressSharing, AddressSharingText(m_dwAddressSharing));
    AppendValueLine(strReport, nLevel, "dwAddressStates", m_dwAddressStates, AddressStatesText(m_dwAddressStates));
    AppendValueLine(strReport, nLevel, "dwCallInfoStates", m_dwCallInfoStates, CallInfoStatesText(m_dwCallInfoStates));
    AppendValueLine(strReport, nLevel, "dwCallerIDFlags", m_dwCallerIDFlags, PartyIDFlagsText(m_dwCallerIDFlags));
    AppendValueLine(strReport, nLevel, "dwCalledIDFlags", m_dwCalledIDFlags, PartyIDFlagsText(m_dwCalledIDFlags));
    AppendValueLine(strReport, nLevel, "dwConnectedIDFlags", m_dwConnectedIDFlags,
                    PartyIDFlagsText(m_dwConnectedIDFlags));
    AppendValueLine(strReport, nLevel, "dwRedirectionIDFlags", m_dwRedirectionIDFlags,
                    PartyIDFlagsText(m_dwRedirectionIDFlags));
    AppendValueLine(strReport, nLevel, "dwRedirectingIDFlags", m_dwRedirectingIDFlags,
                    PartyIDFlagsText(m_dwRedirectingIDFlags));
    AppendValueLine(strReport, nLevel, "dwCallStates", m_dwCallStates, CallStatesText(m_dwCallStates));
    AppendValueLine(strReport, nLevel, "dwDialToneModes", m_dwDialToneModes, DialToneModesText(m_dwDialToneModes));
    AppendValueLine(strReport, nLevel, "dwBusyModes", m_dwBusyModes, BusyModesText(m_dwBusyModes));
    AppendValueLine(strReport, nLevel, "dwSpecialInfo", m_dwSpecialInfo, SpecialInfoText(m_dwSpecialInfo));
    AppendValueLine(strReport, nLevel, "dwDisconnectModes", m_dwDisconnectModes,
                    DisconnectModesText(m_dwDisconnectModes));
    AppendValueLine(strReport, nLevel, "dwMaxNumActiveCalls", m_dwMaxNumActiveCalls);
    AppendValueLine(strReport, nLevel, "dwMaxNumOnHoldCalls", m_dwMaxNumOnHoldCalls);
    AppendValueLine(strReport, nLevel, "dwMaxNumOnHoldPendingCalls", m_dwMaxNumOnHoldPendingCalls);
    AppendValueLine(strReport, nLevel, "dwMaxNumConference", m_dwMaxNumConference);
    AppendValueLine(strReport, nLevel, "dwMaxNumTransConf", m_dwMaxNumTransConf);
    AppendValueLine(strReport, nLevel, "dwAddrCapFlags", m_dwAddrCapFlags, AddrCapFlagsText(m_dwAddrCapFlags));
    AppendValueLine(strReport, nLevel, "dwCallFeatures", m_dwCallFeatures, CallFeaturesText(m_dwCallFeatures));
    AppendValueLine(strReport, nLevel, "dwRemoveFromConfCaps", m_dwRemoveFromConfCaps,
                    RemoveFromConfName(m_dwRemoveFromConfCaps));
    AppendValueLine(strReport, nLevel, "dwRemoveFromConfState", m_dwRemoveFromConfState,
                    CallStateName(m_dwRemoveFromConfState));
    AppendValueLine(strReport, nLevel, "dwTransferModes", m_dwTransferModes, TransferModesText(m_dwTransferModes));
    AppendValueLine(strReport, nLevel, "dwParkModes", m_dwParkModes, ParkModesText(m_dwParkModes));
    AppendValueLine(strReport, nLevel, "dwForwardModes", m_dwForwardModes, ForwardModesText(m_dwForwardModes));
    AppendValueLine(strReport, nLevel, "dwMaxForwardEntries", m_dwMaxForwardEntries);
    AppendValueLine(strReport, nLevel, "dwMaxSpecificEntries", m_dwMaxSpecificEntries);
    AppendValueLine(strReport, nLevel, "dwMinFwdNumRings", m_dwMinFwdNumRings);
    AppendValueLine(strReport, nLevel, "dwMaxFwdNumRings", m_dwMaxFwdNumRings);
    AppendValueLine(strReport, nLevel, "dwMaxCallCompletions", m_dwMaxCallCompletions);
    AppendValueLine(strReport, nLevel, "dwCallCompletionConds", m_dwCallCompletionConds,
                    CallComplCondsText(m_dwCallCompletionConds));
    AppendValueLine(strReport, nLevel, "dwCallCompletionModes", m_dwCallCompletionModes,
                    CallComplModesText(m_dwCallCompletionModes));
    AppendValueLine(strReport, nLevel, "dwNumCompletionMessages", m_dwNumCompletionMessages);
    AppendTextEntries(strReport, nLevel, "CompletionMsgText", m_completionMsgs, m_nCompletionMsgsLeftOut);
    AppendValueLine(strReport, nLevel, "dwAddressFeatures", m_dwAddressFeatures,
                    AddressFeaturesText(m_dwAddressFeatures));
    AppendValueLine(strReport, nLevel, "dwPredictiveAutoTransferStates", m_dwPredictiveAutoTransferStates,
                    CallStatesText(m_dwPredictiveAutoTransferStates));
    AppendSubReports(strReport, nLevel, "CallTreatmentList", m_callTreatments, m_nCallTreatmentsLeftOut, true);
    AppendTextLine(strReport, nLevel, "DeviceClasses", m_strDeviceClasses);
    AppendValueLine(strReport, nLevel, "dwMaxCallDataSize", m_dwMaxCallDataSize);
    AppendValueLine(strReport, nLevel, "dwCallFeatures2", m_dwCallFeatures2, CallFeatures2Text(m_dwCallFeatures2));
    AppendValueLine(strReport, nLevel, "dwMaxNoAnswerTimeout", m_dwMaxNoAnswerTimeout);
    AppendValueLine(strReport, nLevel, "dwConnectedModes", m_dwConnectedModes, ConnectedModesText(m_dwConnectedModes));
    AppendValueLine(strReport, nLevel, "dwOfferingModes", m_dwOfferingModes, OfferingModesText(m_dwOfferingModes));
    AppendValueLine(strReport, nLevel, "dwAvailableMediaModes", m_dwAvailableMediaModes,
                    MediaModesText(m_dwAvailableMediaModes));
    return strReport;
}

std::string CLineAddressStatus::Report(int nLevel) const {
    std::string strReport;
    AppendHeaderLine(strReport, nLevel, "LINEADDRESSSTATUS");
    AppendValueLine(strReport, nLevel, "dwNumInUse", m_dwNumInUse);
    AppendValueLine(strReport, nLevel, "dwNumActiveCalls", m_dwNumActiveCalls);
    AppendValueLine(strReport, nLevel, "dwNumOnHoldCalls", m_dwNumOnHoldCalls);
    AppendValueLine(strReport, nLevel, "dwNumOnHoldPendCalls", m_dwNumOnHoldPendCalls);
    AppendValueLine(strReport, nLevel, "dwAddressFeatures", m_dwAddressFeatures,
                    AddressFeaturesText(m_dwAddressFeatures));
    AppendValueLine(strReport, nLevel, "dwNumRingsNoAnswer", m_dwNumRingsNoAnswer);
    // Unlike the other lists, a forward entry adds no line end of its own.
    AppendSubReports(strReport, nLevel, "Forward", m_forwards, m_nForwardsLeftOut, false);
    strReport += kLineEnd;  // always, also without forward entries
    AppendTerminalModes(strReport, nLevel, m_terminalModes, m_nTerminalModesLeftOut);
    AppendDevSpecific(strReport, nLevel, m_dwDevSpecificSize, m_pDevSpecific);
    return strReport;
}

std::string CLineAppInfo::Report(int nLevel) const {
    std::string strReport;
    AppendSubHeaderLine(strReport, nLevel, "LINEAPPINFO");
    AppendTextLine(strReport, nLevel, "MachineName", m_strMachineName);
    AppendTextLine(strReport, nLevel, "UserName", m_strUserName);
    AppendTextLine(strReport, nLevel, "ModuleFilename", m_strModuleFilename);
    AppendTextLine(strReport, nLevel, "FriendlyName", m_strFriendlyName);
    AppendValueLine(strReport, nLevel, "dwMediaModes", m_dwMediaModes);
    AppendValueLine(strReport, nLevel, "dwAddressID", m_dwAddressID);
    return strReport;
}

std::string CLineForward::Report(int nLevel) const {
    std::string strReport;
    AppendSubHeaderLine(strReport, nLevel, "LINEFORWARD");
    AppendValueLine(strReport, nLevel, "dwForwardMode", m_dwForwardMode);
    AppendTextLine(strReport, nLevel, "CallerAddress", m_strCallerAddress);
    AppendValueLine(strReport, nLevel, "dwDestCountryCode", m_dwDestCountryCode);
    AppendTextLine(strReport, nLevel, "DestAddress", m_strDestAddress);
    return strReport;
}

std::string CLineTermCaps::Report(int nLevel) const {
    std::string strReport;
    AppendSubHeaderLine(strReport, nLevel, "LINETERMCAPS");
    AppendValueLine(strReport, nLevel, "dwTermDev", m_dwTermDev);
    AppendValueLine(strReport, nLevel, "dwTermModes", m_dwTermModes);
    AppendValueLine(strReport, nLevel, "dwTermSharing", m_dwTermSharing);
    return strReport;
}
