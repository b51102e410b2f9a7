#include "reports/LineDevCaps.h"

#include <cstddef>

#include "platform/Platform.h"
#include "reports/LineAddressCaps.h"
#include "tapi/TapiAbi.h"

namespace {

// The provider texts of the PBX maker's lines, compared in this order.
constexpr const char* kMakerProviders[] = {"Talvora ZR-40", "Talvora ZR-40N", "Talvora ZR-40N 1st Party"};

constexpr int kDefaultCoLow = 4096;
constexpr int kDefaultCoHigh = 12288;
constexpr int kDefaultExtLow = 12288;
constexpr int kDefaultExtHigh = 28672;

}  // namespace

int CRangeRegistry::ReadRangeValue(const char* pszName, DWORD* pdwValue) {
    return platform::ReadRangeRegistryValue(pszName, pdwValue);
}

CLineDevCaps::CLineDevCaps(const void* pStruct, const void* pBase, DWORD dwAPIVersion) : CTapiSnapshot(pStruct, pBase) {
    // Read afresh for every record, so a changed range applies to the next one.
    LoadRanges();

    using S = LINEDEVCAPS;
    // API 1.4 ends before dwSettableDevStatus, 1.3 also before dwLineFeatures.
    if (dwAPIVersion < TAPI_VERSION_1_4)
        LimitFixedPart(offsetof(S, dwLineFeatures));
    else if (dwAPIVersion < TAPI_VERSION_2_0)
        LimitFixedPart(offsetof(S, dwSettableDevStatus));
    m_strProviderInfo = ReadText(offsetof(S, dwProviderInfoSize));
    m_strSwitchInfo = ReadText(offsetof(S, dwSwitchInfoSize));
    m_dwPermanentLineID = ReadField(offsetof(S, dwPermanentLineID));
    m_strLineName = ReadText(offsetof(S, dwLineNameSize));
    m_dwStringFormat = ReadField(offsetof(S, dwStringFormat));
    m_dwAddressModes = ReadField(offsetof(S, dwAddressModes));
    m_dwNumAddresses = ReadField(offsetof(S, dwNumAddresses));
    m_dwBearerModes = ReadField(offsetof(S, dwBearerModes));
    m_dwMaxRate = ReadField(offsetof(S, dwMaxRate));
    m_dwMediaModes = ReadField(offsetof(S, dwMediaModes));
    m_dwGenerateToneModes = ReadField(offsetof(S, dwGenerateToneModes));
    m_dwGenerateToneMaxNumFreq = ReadField(offsetof(S, dwGenerateToneMaxNumFreq));
    m_dwGenerateDigitModes = ReadField(offsetof(S, dwGenerateDigitModes));
    m_dwMonitorToneMaxNumFreq = ReadField(offsetof(S, dwMonitorToneMaxNumFreq));
    m_dwMonitorToneMaxNumEntries = ReadField(offsetof(S, dwMonitorToneMaxNumEntries));
    m_dwMonitorDigitModes = ReadField(offsetof(S, dwMonitorDigitModes));
    m_dwGatherDigitsMinTimeout = ReadField(offsetof(S, dwGatherDigitsMinTimeout));
    m_dwGatherDigitsMaxTimeout = ReadField(offsetof(S, dwGatherDigitsMaxTimeout));
    m_dwMedCtlDigitMaxListSize = ReadField(offsetof(S, dwMedCtlDigitMaxListSize));
    m_dwMedCtlMediaMaxListSize = ReadField(offsetof(S, dwMedCtlMediaMaxListSize));
    m_dwMedCtlToneMaxListSize = ReadField(offsetof(S, dwMedCtlToneMaxListSize));
    m_dwMedCtlCallStateMaxListSize = ReadField(offsetof(S, dwMedCtlCallStateMaxListSize));
    m_dwDevCapFlags = ReadField(offsetof(S, dwDevCapFlags));
    m_dwMaxNumActiveCalls = ReadField(offsetof(S, dwMaxNumActiveCalls));
    m_dwAnswerMode = ReadField(offsetof(S, dwAnswerMode));
    m_dwRingModes = ReadField(offsetof(S, dwRingModes));
    m_dwLineStates = ReadField(offsetof(S, dwLineStates));
    m_dwUUIAcceptSize = ReadField(offsetof(S, dwUUIAcceptSize));
    m_dwUUIAnswerSize = ReadField(offsetof(S, dwUUIAnswerSize));
    m_dwUUIMakeCallSize = ReadField(offsetof(S, dwUUIMakeCallSize));
    m_dwUUIDropSize = ReadField(offsetof(S, dwUUIDropSize));
    m_dwUUISendUserUserInfoSize = ReadField(offsetof(S, dwUUISendUserUserInfoSize));
    m_dwUUICallInfoSize = ReadField(offsetof(S, dwUUICallInfoSize));
    if (const BYTE* p = FixedPartPointer(offsetof(S, MinDialParams)))
        m_MinDialParams = CLineDialParams(p, m_pBase, Readable());
    if (const BYTE* p = FixedPartPointer(offsetof(S, MaxDialParams)))
        m_MaxDialParams = CLineDialParams(p, m_pBase, Readable());
    if (const BYTE* p = FixedPartPointer(offsetof(S, DefaultDialParams)))
        m_DefaultDialParams = CLineDialParams(p, m_pBase, Readable());
    const DWORD dwNumTerminals = ReadField(offsetof(S, dwNumTerminals));
    m_nTermCapsLeftOut = ReadRecords(m_termCaps, dwNumTerminals, ReadField(offsetof(S, dwTerminalCapsSize)),
                                     ReadField(offsetof(S, dwTerminalCapsOffset)), sizeof(LINETERMCAPS));
    m_nTerminalTextsLeftOut =
        ReadTextEntries(m_terminalTexts, dwNumTerminals, ReadField(offsetof(S, dwTerminalTextSize)),
                        ReadField(offsetof(S, dwTerminalTextEntrySize)), ReadField(offsetof(S, dwTerminalTextOffset)));
    m_dwDevSpecificSize = ReadField(offsetof(S, dwDevSpecificSize));
    m_pDevSpecific = ReadBytes(offsetof(S, dwDevSpecificSize));
    m_dwLineFeatures = ReadField(offsetof(S, dwLineFeatures));
    m_dwSettableDevStatus = ReadField(offsetof(S, dwSettableDevStatus));
    // A list of NUL-separated class names: only the first one survives.
    m_strDeviceClasses = ReadText(offsetof(S, dwDeviceClassesSize));
    ForgetBuffer();
}

CLineDevCaps::~CLineDevCaps() = default;

void CLineDevCaps::LoadRanges() {
    struct Range {
        const char* pszName;
        int* pnValue;
        int nDefault;
    };
    const Range ranges[] = {{"CO_LOW", &m_nCoLow, kDefaultCoLow},
                            {"CO_HIGH", &m_nCoHigh, kDefaultCoHigh},
                            {"EXT_LOW", &m_nExtLow, kDefaultExtLow},
                            {"EXT_HIGH", &m_nExtHigh, kDefaultExtHigh}};
    for (const Range& range : ranges) {
        DWORD dwValue = 0;
        // A value with its high bit set is a negative bound.
        *range.pnValue =
            CRangeRegistry::ReadRangeValue(range.pszName, &dwValue) == 0 ? static_cast<int>(dwValue) : range.nDefault;
    }
}

BOOL CLineDevCaps::CheckMakerProvider() {
    for (const char* pszProvider : kMakerProviders) {
        if (m_strProviderInfo == pszProvider) {
            m_bMakerLine = 1;
            return TRUE;
        }
    }
    return FALSE;
}

namespace {

// Only the low 16 bits of the permanent line ID place a line.
int LineKey(DWORD dwPermanentLineID) {
    return static_cast<int>(dwPermanentLineID & 0xFFFF);
}

}  // namespace

BOOL CLineDevCaps::IsExtLine() const {
    if (!m_bMakerLine) return FALSE;
    const int nKey = LineKey(m_dwPermanentLineID);
    return nKey >= m_nExtLow && nKey < m_nExtHigh;
}

BOOL CLineDevCaps::IsCoLine() const {
    if (!m_bMakerLine) return FALSE;
    const int nKey = LineKey(m_dwPermanentLineID);
    return nKey >= m_nCoLow && nKey < m_nCoHigh;
}

BOOL CLineDevCaps::HasEtcName() const {
    if (!m_bMakerLine) return FALSE;
    const int nKey = LineKey(m_dwPermanentLineID);
    return nKey >= 0x500 && nKey < 0x600;
}
