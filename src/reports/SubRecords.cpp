#include "reports/SubRecords.h"

#include <cstddef>

#include "reports/TapiNames.h"
#include "tapi/TapiAbi.h"

CLineAppInfo::CLineAppInfo(const void* pStruct, const void* pBase, CByteRange range)
    : CTapiSnapshot(pStruct, pBase, range, sizeof(LINEAPPINFO)) {
    m_strMachineName = ReadText(offsetof(LINEAPPINFO, dwMachineNameSize));
    m_strUserName = ReadText(offsetof(LINEAPPINFO, dwUserNameSize));
    m_strModuleFilename = ReadText(offsetof(LINEAPPINFO, dwModuleFilenameSize));
    m_strFriendlyName = ReadText(offsetof(LINEAPPINFO, dwFriendlyNameSize));
    m_dwMediaModes = ReadField(offsetof(LINEAPPINFO, dwMediaModes));
    m_dwAddressID = ReadField(offsetof(LINEAPPINFO, dwAddressID));
    ForgetBuffer();
}

CLineForward::CLineForward(const void* pStruct, const void* pBase, CByteRange range)
    : CTapiSnapshot(pStruct, pBase, range, sizeof(LINEFORWARD)) {
    m_dwForwardMode = ReadField(offsetof(LINEFORWARD, dwForwardMode));
    m_strCallerAddress = ReadText(offsetof(LINEFORWARD, dwCallerAddressSize));
    m_dwDestCountryCode = ReadField(offsetof(LINEFORWARD, dwDestCountryCode));
    m_strDestAddress = ReadText(offsetof(LINEFORWARD, dwDestAddressSize));
    ForgetBuffer();
}

CLineTermCaps::CLineTermCaps(const void* pStruct, const void* pBase, CByteRange range)
    : CTapiSnapshot(pStruct, pBase, range, sizeof(LINETERMCAPS)) {
    m_dwTermDev = ReadField(offsetof(LINETERMCAPS, dwTermDev));
    m_dwTermModes = ReadField(offsetof(LINETERMCAPS, dwTermModes));
    m_dwTermSharing = ReadField(offsetof(LINETERMCAPS, dwTermSharing));
    ForgetBuffer();
}

CLineDialParams::CLineDialParams() : CTapiSnapshot(nullptr, nullptr, CByteRange{}, 0) {}

CLineDialParams::CLineDialParams(const void* pStruct, const void* pBase, CByteRange range)
    : CTapiSnapshot(pStruct, pBase, range, sizeof(LINEDIALPARAMS)) {
    m_dwDialPause = ReadField(offsetof(LINEDIALPARAMS, dwDialPause));
    m_dwDialSpeed = ReadField(offsetof(LINEDIALPARAMS, dwDialSpeed));
    m_dwDigitDuration = ReadField(offsetof(LINEDIALPARAMS, dwDigitDuration));
    m_dwWaitForDialtone = ReadField(offsetof(LINEDIALPARAMS, dwWaitForDialtone));
    ForgetBuffer();
}

std::string CLineDialParams::Report(int nLevel) const {
    std::string strReport;
    AppendSubHeaderLine(strReport, nLevel, "LINEDIALPARAMS");
    AppendValueLine(strReport, nLevel, "dwDialPause", m_dwDialPause);
    AppendValueLine(strReport, nLevel, "dwDialSpeed", m_dwDialSpeed);
    AppendValueLine(strReport, nLevel, "dwDigitDuration", m_dwDigitDuration);
    AppendValueLine(strReport, nLevel, "dwWaitForDialtone", m_dwWaitForDialtone);
    return strReport;
}

CLineCallTreatmentEntry::CLineCallTreatmentEntry(const void* pStruct, const void* pBase, CByteRange range)
    : CTapiSnapshot(pStruct, pBase, range, sizeof(LINECALLTREATMENTENTRY)) {
    m_dwCallTreatmentID = ReadField(offsetof(LINECALLTREATMENTENTRY, dwCallTreatmentID));
    m_strCallTreatmentName = ReadText(offsetof(LINECALLTREATMENTENTRY, dwCallTreatmentNameSize));
    ForgetBuffer();
}

std::string CLineCallTreatmentEntry::Report(int nLevel) const {
    std::string strReport;
    AppendSubHeaderLine(strReport, nLevel, "LINECALLTREATMENTENTRY");
    AppendValueLine(strReport, nLevel, "dwCallTreatmentID", m_dwCallTreatmentID);
    AppendTextLine(strReport, nLevel, "CallTreatmentName", m_strCallTreatmentName);
    return strReport;
}
