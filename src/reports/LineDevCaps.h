// Snapshot of LINEDEVCAPS, which is also the monitor's record of a line: it
// carries the line's handle, tree node, display name and group (EXT, CO or
// ETC, decided from the provider text and the permanent line ID).
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "reports/SubRecords.h"
#include "reports/TapiSnapshot.h"

class CLineAddressCaps;

// Reads the classification ranges: the key HKEY_LOCAL_MACHINE
// "SOFTWARE\Talvora\ZR_40N_LS2" on Windows, the file named by
// LINOSCOPE3_RANGES_FILE elsewhere (platform/Platform.h).
class CRangeRegistry {
public:
    virtual ~CRangeRegistry() = default;
    // 0 when the REG_DWORD value was read and stored at pdwValue, -1 otherwise.
    static int ReadRangeValue(const char* pszName, DWORD* pdwValue);
};

class CLineDevCaps : public CTapiSnapshot {
public:
    // Reads the four range values afresh, then the structure.
    // dwAPIVersion: the version TAPI filled the structure for; fields that
    // an older version does not define read as 0.
    explicit CLineDevCaps(const void* pStruct, const void* pBase = nullptr, DWORD dwAPIVersion = 0x00020000);
    ~CLineDevCaps() override;
    std::string Report(int nLevel) const override;

    // Sets m_bMakerLine when the provider text is one of the maker's three
    // provider names (whole text, case-sensitive); returns it.
    BOOL CheckMakerProvider();
    // Maker lines whose permanent line ID's low 16 bits fall in [low, high).
    BOOL IsExtLine() const;
    BOOL IsCoLine() const;
    // Maker lines whose key lies in 0x0500..0x05FF get a display name.
    BOOL HasEtcName() const;

    CRangeRegistry m_rangeRegistry;
    BOOL m_bMakerLine = 0;
    DWORD m_dwDeviceID = 0;
    HLINE m_hLine = 0;
    HTREEITEM m_hItem = nullptr;
    std::string m_strDisplayName;

    std::string m_strProviderInfo;
    std::string m_strSwitchInfo;
    DWORD m_dwPermanentLineID = 0;
    std::string m_strLineName;
    DWORD m_dwStringFormat = 0;
    DWORD m_dwAddressModes = 0;
    DWORD m_dwNumAddresses = 0;
    DWORD m_dwBearerModes = 0;
    DWORD m_dwMaxRate = 0;
    DWORD m_dwMediaModes = 0;
    DWORD m_dwGenerateToneModes = 0;
    DWORD m_dwGenerateToneMaxNumFreq = 0;
    DWORD m_dwGenerateDigitModes = 0;
    DWORD m_dwMonitorToneMaxNumFreq = 0;
    DWORD m_dwMonitorToneMaxNumEntries = 0;
    DWORD m_dwMonitorDigitModes = 0;
    DWORD m_dwGatherDigitsMinTimeout = 0;
    DWORD m_dwGatherDigitsMaxTimeout = 0;
    DWORD m_dwMedCtlDigitMaxListSize = 0;
    DWORD m_dwMedCtlMediaMaxListSize = 0;
    DWORD m_dwMedCtlToneMaxListSize = 0;
    DWORD m_dwMedCtlCallStateMaxListSize = 0;
    DWORD m_dwDevCapFlags = 0;
    DWORD m_dwMaxNumActiveCalls = 0;
    DWORD m_dwAnswerMode = 0;
    DWORD m_dwRingModes = 0;
    DWORD m_dwLineStates = 0;
    DWORD m_dwUUIAcceptSize = 0;
    DWORD m_dwUUIAnswerSize = 0;
    DWORD m_dwUUIMakeCallSize = 0;
    DWORD m_dwUUIDropSize = 0;
    DWORD m_dwUUISendUserUserInfoSize = 0;
    DWORD m_dwUUICallInfoSize = 0;
    CLineDialParams m_MinDialParams;
    CLineDialParams m_MaxDialParams;
    CLineDialParams m_DefaultDialParams;
    std::vector<std::unique_ptr<CLineTermCaps>> m_termCaps;
    std::vector<std::string> m_terminalTexts;
    // Entries of the two lists that the record did not keep (TapiSnapshot.h).
    std::size_t m_nTermCapsLeftOut = 0;
    std::size_t m_nTerminalTextsLeftOut = 0;
    DWORD m_dwDevSpecificSize = 0;
    std::vector<BYTE> m_pDevSpecific;
    DWORD m_dwLineFeatures = 0;
    DWORD m_dwSettableDevStatus = 0;
    std::string m_strDeviceClasses;

    CLineAddressCaps* m_pAddressCaps = nullptr;  // not owned: the monitor's m_addressCaps owns it
    int m_nCoHigh = 0;
    int m_nCoLow = 0;
    int m_nExtHigh = 0;
    int m_nExtLow = 0;

private:
    void LoadRanges();
};
