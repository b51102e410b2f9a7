// The start-up sequence: initialize TAPI, examine every line device, sort it
// into EXT, CO or ETC, open every line with monitor privilege and give each
// opened line a display name. A progress display shows where it is and lets
// the user cancel before each device and each line.
#include <cstdint>
#include <functional>

#include "monitor/MonitorApp.h"
#include "monitor/TapiMonitor.h"
#include "reports/Snapshots.h"
#include "tapi/TapiEntry.h"

namespace {

// Every line and address state message there is.
constexpr DWORD kAllLineStates = 0x01FFFFFF;
constexpr DWORD kAllAddressStates = 0x000001FF;

constexpr DWORD kOpenVersions[] = {TAPI_VERSION_2_0, TAPI_VERSION_1_4, TAPI_VERSION_1_3};

// The progress display of one start-up: whatever way the sequence ends, the
// display is closed and deleted. Without a display (it could not be
// created) the sequence still runs, and nobody can cancel it.
class CProgressScope {
public:
    explicit CProgressScope(std::unique_ptr<CInitProgress> pProgress) : m_pProgress(std::move(pProgress)) {}
    ~CProgressScope() { Close(); }
    CProgressScope(const CProgressScope&) = delete;
    CProgressScope& operator=(const CProgressScope&) = delete;

    CInitProgress* operator->() const { return m_pProgress.get(); }
    explicit operator bool() const { return m_pProgress != nullptr; }

    void SetPosition(int nPos) {
        if (m_pProgress) m_pProgress->SetPosition(nPos);
    }
    BOOL IsCancelPressed() { return m_pProgress ? m_pProgress->IsCancelPressed() : FALSE; }
    void Close() {
        if (!m_pProgress) return;
        m_pProgress->DestroyWindow();
        m_pProgress.reset();
    }

private:
    std::unique_ptr<CInitProgress> m_pProgress;
};

// The position within a band of 20 for item k of n. 64-bit, so that a huge
// device count cannot overflow the product.
int BandPosition(int nBandStart, std::uint64_t k, std::uint64_t n) {
    return nBandStart + static_cast<int>((k * 20) / n);
}

// The display name the provider gives a line of the group in its address
// status; ETC lines have one only where the classification says so.
std::string DisplayNameOf(CTapiMonitor& monitor, const CLineDevCaps& line, ELineGroup eGroup) {
    if (eGroup == ELineGroup::Etc && !line.HasEtcName()) return std::string();
    std::unique_ptr<CLineAddressStatus> pStatus = monitor.FetchAddressStatus(line.m_hLine, 0);
    if (!pStatus) return std::string();
    switch (eGroup) {
        case ELineGroup::Ext:
            return pStatus->GetExtDisplayName();
        case ELineGroup::Co:
            return pStatus->GetCoDisplayName();
        case ELineGroup::Etc:
            return pStatus->GetEtcDisplayName();
    }
    return std::string();
}

// Opens the lines of one group in index order within its progress band.
// FALSE when the user cancelled; a line that cannot be opened with any API
// version (or only without a handle) stays in its group, unopened and unnamed.
BOOL OpenLines(CTapiMonitor& monitor, HLINEAPP hLineApp, DWORD dwAPIVersion, DWORD dwExtLowVersion,
               std::vector<std::unique_ptr<CLineDevCaps>>& lines, std::map<HLINE, CLineDevCaps*>& byLine,
               ELineGroup eGroup, int nBandStart, CProgressScope& progress) {
    const std::size_t nLines = lines.size();
    for (std::size_t k = 0; k < nLines; ++k) {
        progress.SetPosition(BandPosition(nBandStart, k, nLines));
        if (progress.IsCancelPressed()) return FALSE;
        CLineDevCaps* pLine = lines[k].get();
        if (!pLine) continue;

        // Whatever the negotiation leaves in the DWORD is the version asked for.
        DWORD dwExtVersion = dwExtLowVersion;
        tapi::lineNegotiateExtVersion(hLineApp, pLine->m_dwDeviceID, dwAPIVersion, dwExtLowVersion, 0xFFFFFFFF,
                                      &dwExtVersion);
        // A success that hands out no handle opened nothing that could be
        // watched or closed: it counts as a failed try.
        HLINE hLine = 0;
        for (DWORD dwVersion : kOpenVersions) {
            hLine = 0;
            if (tapi::lineOpen(hLineApp, pLine->m_dwDeviceID, &hLine, dwVersion, dwExtVersion, 0,
                               LINECALLPRIVILEGE_MONITOR, LINEMEDIAMODE_INTERACTIVEVOICE, nullptr) == 0 &&
                hLine != 0)
                break;
            hLine = 0;
        }
        if (hLine == 0) continue;

        tapi::lineSetStatusMessages(hLine, kAllLineStates, kAllAddressStates);
        pLine->m_hLine = hLine;
        byLine[hLine] = pLine;
        pLine->m_strDisplayName = DisplayNameOf(monitor, *pLine, eGroup);
    }
    return TRUE;
}

}  // namespace

BOOL CTapiMonitor::Initialize() {
    CMonitorApp* pApp = GetMonitorApp();
    if (!pApp) return FALSE;
    pApp->m_bTapiStarting = TRUE;

    CProgressScope progress(pApp->CreateProgress());
    if (progress) {
        progress->SetRange(0, 100);
        progress->SetMessage("Initializing");
    }

    DWORD dwNumDevs = 0;
    DWORD dwAPIVersion = m_dwAPIVersion;
    LINEINITIALIZEEXPARAMS params{};
    // The structure's own size: 24 bytes on Win32 but 28 on Win64, where
    // TAPI turns away a structure that claims to be smaller.
    params.dwTotalSize = sizeof(LINEINITIALIZEEXPARAMS);
    params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
    if (tapi::lineInitializeEx(&m_hLineApp, pApp->GetInstanceHandle(), LineCallback, "Linoscope3", &dwNumDevs,
                               &dwAPIVersion, &params) != 0)
        return FALSE;
    m_bInitialized = TRUE;
    if (dwNumDevs == 0) return FALSE;
    progress.SetPosition(20);

    BOOL bAnyLine = FALSE;
    for (DWORD dwDeviceID = 0; dwDeviceID < dwNumDevs; ++dwDeviceID) {
        progress.SetPosition(BandPosition(20, dwDeviceID, dwNumDevs));
        if (progress.IsCancelPressed()) return FALSE;
        std::unique_ptr<CLineDevCaps> pLine = FetchDevCaps(dwDeviceID);
        if (!pLine) continue;  // a device without capabilities is left out
        CLineDevCaps* pRecord = pLine.get();
        // EXT first: a key in both ranges belongs to EXT.
        const ELineGroup eGroup = pRecord->IsExtLine()  ? ELineGroup::Ext
                                  : pRecord->IsCoLine() ? ELineGroup::Co
                                                        : ELineGroup::Etc;
        Group(eGroup).lines.push_back(std::move(pLine));
        if (std::unique_ptr<CLineAddressCaps> pAddressCaps = FetchAddressCaps(dwDeviceID, 0)) {
            pRecord->m_pAddressCaps = pAddressCaps.get();
            m_addressCaps.push_back(std::move(pAddressCaps));
        }
        bAnyLine = TRUE;
    }
    if (!bAnyLine) return FALSE;

    // Each group opens its lines in a band of its own: 40-60, 60-80, 80-100.
    int nBandStart = 40;
    for (ELineGroup eGroup : kLineGroups) {
        const CGroup group = Group(eGroup);
        if (!OpenLines(*this, m_hLineApp, m_dwAPIVersion, m_dwExtLowVersion, group.lines, group.byLine, eGroup,
                       nBandStart, progress))
            return FALSE;
        nBandStart += 20;
    }

    progress.Close();
    pApp->m_bTapiStarting = FALSE;
    return TRUE;
}
