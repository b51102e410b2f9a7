// Structure retrieval: TAPI's variable-size structures are fetched into a
// buffer that grows until everything fits, then copied into a snapshot that
// the caller owns. The buffer never outlives the fetch.
#include <cstring>
#include <functional>
#include <new>
#include <vector>

#include "monitor/TapiMonitor.h"
#include "reports/Snapshots.h"
#include "tapi/TapiEntry.h"

namespace {

// A provider that keeps asking for more must not hang the program or eat
// its memory: no real structure needs more passes or more room than this.
constexpr int kMaxFetchPasses = 32;
constexpr DWORD kMaxFetchSize = 16u * 1024u * 1024u;

constexpr DWORD kCapabilityVersions[] = {TAPI_VERSION_2_0, TAPI_VERSION_1_4, TAPI_VERSION_1_3};

void PutDword(std::vector<BYTE>& buffer, std::size_t offset, DWORD dwValue) {
    std::memcpy(buffer.data() + offset, &dwValue, sizeof dwValue);
}

// dwTotalSize at the start of a fetch buffer.
void PutTotalSize(BYTE* pBuffer, DWORD dwTotalSize) {
    std::memcpy(pBuffer, &dwTotalSize, sizeof dwTotalSize);
}

DWORD GetDword(const std::vector<BYTE>& buffer, std::size_t offset) {
    DWORD dwValue = 0;
    std::memcpy(&dwValue, buffer.data() + offset, sizeof dwValue);
    return dwValue;
}

// Runs `query` on the buffer until the structure fits. `query` fills the
// buffer (starting at its first byte, which holds dwTotalSize = the second
// argument, the buffer's size) and returns TAPI's result. TRUE when
// the buffer holds a complete structure whose dwTotalSize is the buffer's
// real size; FALSE on a TAPI error, an absurd size or too many passes.
template <typename Query>
BOOL FillGrowing(std::vector<BYTE>& buffer, std::size_t cbFixed, Query query) {
    buffer.assign(cbFixed, 0);
    PutDword(buffer, 0, static_cast<DWORD>(cbFixed));
    for (int nPass = 0; nPass < kMaxFetchPasses; ++nPass) {
        if (query(buffer.data(), static_cast<DWORD>(buffer.size())) != 0) return FALSE;
        const DWORD dwNeeded = GetDword(buffer, 4);
        // Compared with the real size: what the provider left in dwTotalSize
        // is not trusted, and a smaller need never shrinks the buffer.
        if (dwNeeded <= buffer.size()) {
            PutDword(buffer, 0, static_cast<DWORD>(buffer.size()));
            return TRUE;
        }
        if (dwNeeded > kMaxFetchSize) return FALSE;
        buffer.resize(dwNeeded, 0);
        PutDword(buffer, 0, dwNeeded);
    }
    return FALSE;
}

// Builds the snapshot from a complete buffer; offsets count from its start.
template <typename Snapshot, typename Query, typename... Extra>
std::unique_ptr<Snapshot> Fetch(std::size_t cbFixed, Query query, const Extra&... extra) {
    try {
        std::vector<BYTE> buffer;
        if (!FillGrowing(buffer, cbFixed, query)) return nullptr;
        return std::make_unique<Snapshot>(buffer.data(), nullptr, extra...);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

// The capability queries try the API versions newest first, each pass afresh
// after its own negotiation; the negotiated extension version is not used
// (the query always asks for extension version 0).
std::unique_ptr<CLineDevCaps> CTapiMonitor::FetchDevCaps(DWORD dwDeviceID) {
    // The snapshot needs the version of the last pass: an older version's
    // fixed part is shorter.
    DWORD dwVersionUsed = TAPI_VERSION_2_0;
    auto query = [&](BYTE* pBuffer, DWORD cbBuffer) -> LONG {
        DWORD dwExtVersion = 0;
        tapi::lineNegotiateExtVersion(m_hLineApp, dwDeviceID, m_dwAPIVersion, m_dwExtLowVersion, 0xFFFFFFFF,
                                      &dwExtVersion);
        LONG lResult = -1;
        for (DWORD dwVersion : kCapabilityVersions) {
            // A failed try may have changed dwTotalSize: each starts afresh.
            PutTotalSize(pBuffer, cbBuffer);
            lResult =
                tapi::lineGetDevCaps(m_hLineApp, dwDeviceID, dwVersion, 0, reinterpret_cast<LINEDEVCAPS*>(pBuffer));
            dwVersionUsed = dwVersion;
            if (lResult == 0) break;
        }
        return lResult;
    };
    // Read when the snapshot is built, after the last pass.
    auto pDevCaps = Fetch<CLineDevCaps>(sizeof(LINEDEVCAPS), query, std::cref(dwVersionUsed));
    if (pDevCaps) {
        pDevCaps->CheckMakerProvider();
        pDevCaps->m_dwDeviceID = dwDeviceID;
    }
    return pDevCaps;
}

std::unique_ptr<CLineAddressCaps> CTapiMonitor::FetchAddressCaps(DWORD dwDeviceID, DWORD dwAddressID) {
    DWORD dwVersionUsed = TAPI_VERSION_2_0;
    auto query = [&](BYTE* pBuffer, DWORD cbBuffer) -> LONG {
        DWORD dwExtVersion = 0;
        tapi::lineNegotiateExtVersion(m_hLineApp, dwDeviceID, m_dwAPIVersion, m_dwExtLowVersion, 0xFFFFFFFF,
                                      &dwExtVersion);
        LONG lResult = -1;
        for (DWORD dwVersion : kCapabilityVersions) {
            PutTotalSize(pBuffer, cbBuffer);
            lResult = tapi::lineGetAddressCaps(m_hLineApp, dwDeviceID, dwAddressID, dwVersion, 0,
                                               reinterpret_cast<LINEADDRESSCAPS*>(pBuffer));
            dwVersionUsed = dwVersion;
            if (lResult == 0) break;
        }
        return lResult;
    };
    return Fetch<CLineAddressCaps>(sizeof(LINEADDRESSCAPS), query, std::cref(dwVersionUsed));
}

std::unique_ptr<CLineDevStatus> CTapiMonitor::FetchDevStatus(HLINE hLine) {
    return Fetch<CLineDevStatus>(sizeof(LINEDEVSTATUS), [&](BYTE* pBuffer, DWORD) {
        return tapi::lineGetLineDevStatus(hLine, reinterpret_cast<LINEDEVSTATUS*>(pBuffer));
    });
}

std::unique_ptr<CLineAddressStatus> CTapiMonitor::FetchAddressStatus(HLINE hLine, DWORD dwAddressID) {
    return Fetch<CLineAddressStatus>(sizeof(LINEADDRESSSTATUS), [&](BYTE* pBuffer, DWORD) {
        return tapi::lineGetAddressStatus(hLine, dwAddressID, reinterpret_cast<LINEADDRESSSTATUS*>(pBuffer));
    });
}

std::unique_ptr<CLineCallInfo> CTapiMonitor::FetchCallInfo(HCALL hCall) {
    return Fetch<CLineCallInfo>(sizeof(LINECALLINFO), [&](BYTE* pBuffer, DWORD) {
        return tapi::lineGetCallInfo(hCall, reinterpret_cast<LINECALLINFO*>(pBuffer));
    });
}

std::unique_ptr<CLineCallStatus> CTapiMonitor::FetchCallStatus(HCALL hCall) {
    return Fetch<CLineCallStatus>(sizeof(LINECALLSTATUS), [&](BYTE* pBuffer, DWORD) {
        return tapi::lineGetCallStatus(hCall, reinterpret_cast<LINECALLSTATUS*>(pBuffer));
    });
}
