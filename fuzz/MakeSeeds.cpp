// Writes the seed structures of fuzz/corpus/ as the simulated maker's provider
// fills them: capabilities of each kind of line for API 2.0 and 1.4, a line's
// and an address's status, and an inbound call's information and status.
// Run by hand when the layouts change: make_fuzz_seeds <fuzz/corpus folder>.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/SimScenario.h"
#include "service/SimTapi.h"

namespace {

std::filesystem::path g_root;

// One seed: the API version the snapshot is told, then the structure as filled.
void Write(const std::string& strHarness, const std::string& strName, DWORD dwVersion, const void* pStruct) {
    DWORD dwUsed = 0;
    std::memcpy(&dwUsed, static_cast<const BYTE*>(pStruct) + 8, 4);
    std::filesystem::create_directories(g_root / strHarness);
    std::ofstream file(g_root / strHarness / strName, std::ios::binary);
    file.write(reinterpret_cast<const char*>(&dwVersion), 4);
    file.write(static_cast<const char*>(pStruct), dwUsed);
}

struct CBuffer {
    std::vector<BYTE> m_bytes = std::vector<BYTE>(4096, 0);
    template <typename T>
    T* As() {
        std::fill(m_bytes.begin(), m_bytes.end(), 0);
        DWORD dwTotal = static_cast<DWORD>(m_bytes.size());
        std::memcpy(m_bytes.data(), &dwTotal, 4);
        return reinterpret_cast<T*>(m_bytes.data());
    }
};

void CALLBACK Ignore(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds <corpus folder>\n");
        return 2;
    }
    g_root = argv[1];
    sim::CSimScenario office = sim::DefaultOffice();
    office.m_traffic.m_bEnabled = false;
    sim::CSimTapi tapi(office, sim::CSimHost{});
    HLINEAPP hApp = 0;
    DWORD dwNumDevs = 0;
    DWORD dwVersion = TAPI_VERSION_2_0;
    LINEINITIALIZEEXPARAMS params{};
    params.dwTotalSize = sizeof(params);
    params.dwOptions = LINEINITIALIZEEXOPTION_USEHIDDENWINDOW;
    if (tapi.InitializeEx(&hApp, Ignore, "seeds", &dwNumDevs, &dwVersion, &params) != 0) return 1;

    CBuffer buffer;
    // Device 0 is an extension, 12 a trunk, 16 voice mail, 18 another provider's line.
    const struct {
        DWORD dwDevice;
        const char* pszName;
    } lines[] = {{0, "ext"}, {12, "co"}, {16, "etc"}, {18, "other"}};
    for (const auto& line : lines) {
        for (DWORD dwApi : {TAPI_VERSION_2_0, TAPI_VERSION_1_4}) {
            const std::string strSuffix = dwApi == TAPI_VERSION_2_0 ? "" : "-1.4";
            if (tapi.GetDevCaps(hApp, line.dwDevice, dwApi, 0, buffer.As<LINEDEVCAPS>()) == 0) {
                Write("devcaps", line.pszName + strSuffix, dwApi, buffer.m_bytes.data());
            }
            if (tapi.GetAddressCaps(hApp, line.dwDevice, 0, dwApi, 0, buffer.As<LINEADDRESSCAPS>()) == 0) {
                Write("addresscaps", line.pszName + strSuffix, dwApi, buffer.m_bytes.data());
            }
        }
        HLINE hLine = 0;
        if (tapi.Open(hApp, line.dwDevice, &hLine, TAPI_VERSION_2_0, 0, 0, LINECALLPRIVILEGE_MONITOR,
                      LINEMEDIAMODE_INTERACTIVEVOICE, nullptr) != 0) {
            continue;
        }
        if (tapi.GetLineDevStatus(hLine, buffer.As<LINEDEVSTATUS>()) == 0) {
            Write("devstatus", line.pszName, TAPI_VERSION_2_0, buffer.m_bytes.data());
        }
        if (tapi.GetAddressStatus(hLine, 0, buffer.As<LINEADDRESSSTATUS>()) == 0) {
            Write("addressstatus", line.pszName, TAPI_VERSION_2_0, buffer.m_bytes.data());
        }
    }

    // An inbound call over a trunk to the first extension, seen on both lines.
    std::string strError;
    if (!tapi.Inject(R"({"event": "inbound", "to": "201", "caller": "0301234567", "callerName": "Customer"})",
                     &strError)) {
        std::fprintf(stderr, "%s\n", strError.c_str());
        return 1;
    }
    tapi.Advance(5000);
    int nCall = 0;
    for (const sim::CSimMessage& message : tapi.TakeMessages()) {
        if (message.m_dwMessage != LINE_APPNEWCALL || nCall >= 2) continue;
        const HCALL hCall = static_cast<HCALL>(message.m_dwParam2);
        const std::string strName = nCall++ == 0 ? "inbound-a" : "inbound-b";
        if (tapi.GetCallInfo(hCall, buffer.As<LINECALLINFO>()) == 0) {
            Write("callinfo", strName, TAPI_VERSION_2_0, buffer.m_bytes.data());
        }
        if (tapi.GetCallStatus(hCall, buffer.As<LINECALLSTATUS>()) == 0) {
            Write("callstatus", strName, TAPI_VERSION_2_0, buffer.m_bytes.data());
        }
    }
    return nCall == 2 ? 0 : 1;
}
