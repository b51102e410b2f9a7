// The five sub-structures that the top-level TAPI structures carry. Each is
// built from the sub-structure's address and a base: TAPI counts the offsets
// inside LINEAPPINFO, LINEFORWARD and LINECALLTREATMENTENTRY from the start
// of the containing structure, so the owner passes its own start as the base
// and its readable extent as the range (see TapiSnapshot.h).
#pragma once

#include <string>

#include "reports/TapiSnapshot.h"

// LINEAPPINFO (40 bytes), an entry of LINEDEVSTATUS.
class CLineAppInfo : public CTapiSnapshot {
public:
    explicit CLineAppInfo(const void* pStruct, const void* pBase = nullptr, CByteRange range = {});
    std::string Report(int nLevel) const override;

    std::string m_strMachineName;
    std::string m_strUserName;
    std::string m_strModuleFilename;
    std::string m_strFriendlyName;
    DWORD m_dwMediaModes = 0;
    DWORD m_dwAddressID = 0;
};

// LINEFORWARD (24 bytes), an entry of LINEADDRESSSTATUS.
class CLineForward : public CTapiSnapshot {
public:
    explicit CLineForward(const void* pStruct, const void* pBase = nullptr, CByteRange range = {});
    std::string Report(int nLevel) const override;

    DWORD m_dwForwardMode = 0;
    std::string m_strCallerAddress;
    DWORD m_dwDestCountryCode = 0;
    std::string m_strDestAddress;
};

// LINETERMCAPS (12 bytes), an entry of LINEDEVCAPS.
class CLineTermCaps : public CTapiSnapshot {
public:
    explicit CLineTermCaps(const void* pStruct, const void* pBase = nullptr, CByteRange range = {});
    std::string Report(int nLevel) const override;

    DWORD m_dwTermDev = 0;
    DWORD m_dwTermModes = 0;
    DWORD m_dwTermSharing = 0;
};

// LINEDIALPARAMS (16 bytes), embedded in LINEDEVCAPS and LINECALLINFO.
class CLineDialParams : public CTapiSnapshot {
public:
    // All four fields 0.
    CLineDialParams();
    explicit CLineDialParams(const void* pStruct, const void* pBase = nullptr, CByteRange range = {});
    CLineDialParams(const CLineDialParams&) = default;
    CLineDialParams& operator=(const CLineDialParams&) = default;
    std::string Report(int nLevel) const override;

    DWORD m_dwDialPause = 0;
    DWORD m_dwDialSpeed = 0;
    DWORD m_dwDigitDuration = 0;
    DWORD m_dwWaitForDialtone = 0;
};

// LINECALLTREATMENTENTRY (12 bytes), an entry of LINEADDRESSCAPS.
class CLineCallTreatmentEntry : public CTapiSnapshot {
public:
    explicit CLineCallTreatmentEntry(const void* pStruct, const void* pBase = nullptr, CByteRange range = {});
    std::string Report(int nLevel) const override;

    DWORD m_dwCallTreatmentID = 0;
    std::string m_strCallTreatmentName;
};
