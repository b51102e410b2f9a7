// Fuzz target: one TAPI structure exactly as a provider may have written it,
// made into its snapshot, reported and asked for what the program shows of it.
//
// Input: 4 bytes (little-endian) with the API version the snapshot is told the
// structure was filled for, then the structure's bytes. The buffer is the one
// the program would have handed to TAPI: never smaller than the fixed part (the
// rest zero), with dwTotalSize set to its real size afterwards, as the fetch
// does; every other byte is the provider's.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "reports/Snapshots.h"
#include "tapi/TapiAbi.h"

namespace {

// A report is text lines ending in CR LF; provider texts end at their NUL.
void CheckReport(const std::string& strReport) {
    if (strReport.size() < 2 || strReport.compare(strReport.size() - 2, 2, "\r\n") != 0 ||
        strReport.find('\0') != std::string::npos) {
        std::abort();
    }
}

template <typename Snapshot, typename... Extra>
void ReportAt(const std::vector<BYTE>& buffer, const Extra&... extra) {
    Snapshot snapshot(buffer.data(), nullptr, extra...);
    CheckReport(snapshot.Report(0));
    CheckReport(snapshot.Report(3));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t cbData) {
    if (cbData < 4) {
        return 0;
    }
    DWORD dwAPIVersion = 0;
    std::memcpy(&dwAPIVersion, pData, 4);
    pData += 4;
    cbData -= 4;

#if defined(LSC_FUZZ_DEVCAPS)
    using Fixed = LINEDEVCAPS;
#elif defined(LSC_FUZZ_DEVSTATUS)
    using Fixed = LINEDEVSTATUS;
#elif defined(LSC_FUZZ_ADDRESSCAPS)
    using Fixed = LINEADDRESSCAPS;
#elif defined(LSC_FUZZ_ADDRESSSTATUS)
    using Fixed = LINEADDRESSSTATUS;
#elif defined(LSC_FUZZ_CALLINFO)
    using Fixed = LINECALLINFO;
#elif defined(LSC_FUZZ_CALLSTATUS)
    using Fixed = LINECALLSTATUS;
#else
#error "choose the structure with LSC_FUZZ_<NAME>"
#endif
    // Exactly as large as the program's buffer, so that reading past it is caught.
    std::vector<BYTE> buffer(cbData < sizeof(Fixed) ? sizeof(Fixed) : cbData, 0);
    std::memcpy(buffer.data(), pData, cbData);
    const DWORD dwTotalSize = static_cast<DWORD>(buffer.size());
    std::memcpy(buffer.data(), &dwTotalSize, 4);

#if defined(LSC_FUZZ_DEVCAPS)
    CLineDevCaps caps(buffer.data(), nullptr, dwAPIVersion);
    CheckReport(caps.Report(0));
    if (caps.CheckMakerProvider()) {
        // Only one group may claim a line.
        if (caps.IsExtLine() && caps.IsCoLine()) std::abort();
        static_cast<void>(caps.HasEtcName());
    }
#elif defined(LSC_FUZZ_ADDRESSCAPS)
    CLineAddressCaps caps(buffer.data(), nullptr, dwAPIVersion);
    CheckReport(caps.Report(1));
    static_cast<void>(caps.GetPaddedAddress());
#elif defined(LSC_FUZZ_DEVSTATUS)
    static_cast<void>(dwAPIVersion);
    ReportAt<CLineDevStatus>(buffer);
#elif defined(LSC_FUZZ_ADDRESSSTATUS)
    static_cast<void>(dwAPIVersion);
    ReportAt<CLineAddressStatus>(buffer);
    CLineAddressStatus status(buffer.data());
    // Display names are texts of the device-specific part: never longer than it.
    for (const std::string& strName :
         {status.GetExtDisplayName(), status.GetCoDisplayName(), status.GetEtcDisplayName()}) {
        if (strName.size() > status.m_pDevSpecific.size()) std::abort();
    }
#elif defined(LSC_FUZZ_CALLINFO)
    static_cast<void>(dwAPIVersion);
    ReportAt<CLineCallInfo>(buffer);
    // What the call's detail lines and its event log record show.
    CLineCallInfo info(buffer.data());
    const std::string strDetails = info.GetCallerID() + info.GetCalledID() + info.GetConnectedID() +
                                   info.GetTrunkText() + info.GetOriginText() + info.GetReasonText() +
                                   info.GetRedirectionID() + info.GetRedirectingID() + info.GetDidDdiText();
    const std::string strLog = info.GetLogFields();
    if (strDetails.size() > buffer.size() * 6 + 4096 || strLog.empty() || strLog.back() != ',') std::abort();
#elif defined(LSC_FUZZ_CALLSTATUS)
    static_cast<void>(dwAPIVersion);
    ReportAt<CLineCallStatus>(buffer);
    CLineCallStatus status(buffer.data());
    if (status.IsAnswerable() && !status.IsDroppable()) std::abort();
#endif
    return 0;
}
