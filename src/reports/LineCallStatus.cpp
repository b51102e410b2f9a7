#include "reports/LineCallStatus.h"

#include <cstddef>

#include "reports/TapiNames.h"
#include "tapi/TapiAbi.h"

CLineCallStatus::CLineCallStatus(const void* pStruct, const void* pBase) : CTapiSnapshot(pStruct, pBase) {
    using S = LINECALLSTATUS;
    m_dwCallState = ReadField(offsetof(S, dwCallState));
    m_dwCallStateMode = ReadField(offsetof(S, dwCallStateMode));
    m_dwCallPrivilege = ReadField(offsetof(S, dwCallPrivilege));
    m_dwCallFeatures = ReadField(offsetof(S, dwCallFeatures));
    m_dwDevSpecificSize = ReadField(offsetof(S, dwDevSpecificSize));
    m_pDevSpecific = ReadBytes(offsetof(S, dwDevSpecificSize));
    m_dwCallFeatures2 = ReadField(offsetof(S, dwCallFeatures2));
    // Word by word, so a structure cut inside the time keeps what it has.
    constexpr std::size_t at = offsetof(S, tStateEntryTime);
    m_tStateEntryTime.wYear = ReadWordField(at + offsetof(SYSTEMTIME, wYear));
    m_tStateEntryTime.wMonth = ReadWordField(at + offsetof(SYSTEMTIME, wMonth));
    m_tStateEntryTime.wDayOfWeek = ReadWordField(at + offsetof(SYSTEMTIME, wDayOfWeek));
    m_tStateEntryTime.wDay = ReadWordField(at + offsetof(SYSTEMTIME, wDay));
    m_tStateEntryTime.wHour = ReadWordField(at + offsetof(SYSTEMTIME, wHour));
    m_tStateEntryTime.wMinute = ReadWordField(at + offsetof(SYSTEMTIME, wMinute));
    m_tStateEntryTime.wSecond = ReadWordField(at + offsetof(SYSTEMTIME, wSecond));
    m_tStateEntryTime.wMilliseconds = ReadWordField(at + offsetof(SYSTEMTIME, wMilliseconds));
    ForgetBuffer();
}

BOOL CLineCallStatus::IsAnswerable() const {
    return m_dwCallState == LINECALLSTATE_OFFERING || m_dwCallState == LINECALLSTATE_ACCEPTED;
}

BOOL CLineCallStatus::IsDroppable() const {
    return TRUE;
}

std::string CLineCallStatus::Report(int nLevel) const {
    std::string strReport;
    AppendHeaderLine(strReport, nLevel, "LINECALLSTATUS");
    AppendValueLine(strReport, nLevel, "dwCallState", m_dwCallState, CallStateName(m_dwCallState));
    AppendValueLine(strReport, nLevel, "dwCallStateMode", m_dwCallStateMode,
                    CallStateModeName(m_dwCallState, m_dwCallStateMode));
    AppendValueLine(strReport, nLevel, "dwCallPrivilege", m_dwCallPrivilege, CallPrivilegesText(m_dwCallPrivilege));
    AppendValueLine(strReport, nLevel, "dwCallFeatures", m_dwCallFeatures, CallFeaturesText(m_dwCallFeatures));
    // The size line shows what the provider wrote; the dump shows what could be read.
    AppendValueLine(strReport, nLevel, "dwDevSpecificSize", m_dwDevSpecificSize);
    strReport += HexDumpText(m_pDevSpecific.data(), static_cast<DWORD>(m_pDevSpecific.size()), nLevel + 2);
    strReport += kLineEnd;
    AppendValueLine(strReport, nLevel, "dwCallFeatures2", m_dwCallFeatures2, CallFeatures2Text(m_dwCallFeatures2));
    const SYSTEMTIME& t = m_tStateEntryTime;
    strReport += IndentText(nLevel);
    strReport += "    StateEntryTime = " + std::to_string(t.wYear) + "/" + std::to_string(t.wMonth) + "/" +
                 std::to_string(t.wDay) + " " + std::to_string(t.wHour) + ":" + std::to_string(t.wMinute) + ":" +
                 std::to_string(t.wSecond) + " ";
    strReport += kLineEnd;
    return strReport;
}
