// Fuzz target: the monitor running on the simulated PBX. The monitor starts up
// through its TAPI entry table, which here leads into the simulator's portable
// TAPI (CSimTapi); the input then drives both sides: the PBX's events, the
// clock, the user's commands and reports, restarts, and messages no provider
// should send. Every callback message is delivered as the simulator's DLL
// delivers it, one at a time, after the call that caused it has returned.
//
// Input: a sequence of steps, each an opcode byte and its argument bytes; a
// step cut short by the end of the input is not run.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/SimScenario.h"
#include "platform/Platform.h"
#include "reports/Snapshots.h"
#include "service/SimTapi.h"
#include "support/FakeTapiHooks.h"
#include "support/MonitorInternals.h"
#include "support/TestApp.h"
#include "views/MemoryTreeCtrl.h"
#include "views/win/resource.h"

namespace {

// Two extensions of each kind of flow, two trunks, a voice mail line and a
// line of another provider; monitors may answer and drop.
const char* const kScenario = R"({
  "name": "fuzz", "seed": 7, "monitorMayControl": true,
  "devices": [
    {"kind": "ext", "number": "201", "name": "Reception"},
    {"kind": "ext", "number": "202"},
    {"kind": "ext", "number": "203", "refuseVersions": ["0x00020000"]},
    {"kind": "co", "number": "801"},
    {"kind": "co", "number": "802"},
    {"kind": "etc", "number": "700", "name": "Voice Mail"},
    {"kind": "other", "number": "750", "name": "Fax"}
  ]})";
const char* const kNumbers[] = {"201", "202", "203", "801", "802", "700", "750", "999"};
const char* const kEvents[] = {"internal",  "inbound", "outbound", "outOfService",
                               "inService", "reinit",  "answer",   "hangup"};

sim::CSimTapi* g_pSim = nullptr;
std::deque<sim::CSimMessage> g_queue;

void Collect() {
    for (sim::CSimMessage& message : g_pSim->TakeMessages()) g_queue.push_back(message);
}

// The hooks: every TAPI function the program calls, answered by the simulator.
template <typename Result>
Result Collected(Result r) {
    Collect();
    return r;
}
const FakeTapiHooks kHooks = {
    [](HCALL h, LPCSTR p, DWORD cb) -> LONG { return Collected(g_pSim->Answer(h, p, cb)); },
    [](HLINE h) -> LONG { return Collected(g_pSim->Close(h)); },
    [](HCALL h) -> LONG { return Collected(g_pSim->DeallocateCall(h)); },
    [](HCALL h, LPCSTR p, DWORD cb) -> LONG { return Collected(g_pSim->Drop(h, p, cb)); },
    [](HLINEAPP a, DWORD d, DWORD ad, DWORD v, DWORD e, LINEADDRESSCAPS* p) -> LONG {
        return g_pSim->GetAddressCaps(a, d, ad, v, e, p);
    },
    [](HLINE h, DWORD a, LINEADDRESSSTATUS* p) -> LONG { return g_pSim->GetAddressStatus(h, a, p); },
    [](HCALL h, LINECALLINFO* p) -> LONG { return g_pSim->GetCallInfo(h, p); },
    [](HCALL h, LINECALLSTATUS* p) -> LONG { return g_pSim->GetCallStatus(h, p); },
    [](HLINEAPP a, DWORD d, DWORD v, DWORD e, LINEDEVCAPS* p) -> LONG { return g_pSim->GetDevCaps(a, d, v, e, p); },
    [](HLINE h, LINEDEVSTATUS* p) -> LONG { return g_pSim->GetLineDevStatus(h, p); },
    [](HLINEAPP* ph, HINSTANCE, LINECALLBACK pfn, LPCSTR psz, DWORD* pn, DWORD* pv,
       LINEINITIALIZEEXPARAMS* pp) -> LONG { return Collected(g_pSim->InitializeEx(ph, pfn, psz, pn, pv, pp)); },
    [](HLINE h, HCALL* ph, LPCSTR psz, DWORD c, const LINECALLPARAMS* p) -> LONG {
        return Collected(g_pSim->MakeCall(h, ph, psz, c, p));
    },
    [](HLINEAPP a, DWORD d, DWORD v, DWORD lo, DWORD hi, DWORD* p) -> LONG {
        return g_pSim->NegotiateExtVersion(a, d, v, lo, hi, p);
    },
    [](HLINEAPP a, DWORD d, HLINE* ph, DWORD v, DWORD e, DWORD_PTR i, DWORD pr, DWORD m,
       const LINECALLPARAMS* p) -> LONG { return Collected(g_pSim->Open(a, d, ph, v, e, i, pr, m, p)); },
    [](HLINE h, DWORD l, DWORD a) -> LONG { return Collected(g_pSim->SetStatusMessages(h, l, a)); },
    [](HLINEAPP a) -> LONG { return Collected(g_pSim->Shutdown(a)); },
};

// The bytes of the input, read from the front.
class CSteps {
public:
    CSteps(const std::uint8_t* p, std::size_t cb) : m_p(p), m_cb(cb) {}
    bool Take(std::uint8_t* pb) {
        if (m_cb == 0) return false;
        *pb = *m_p++;
        --m_cb;
        return true;
    }

private:
    const std::uint8_t* m_p;
    std::size_t m_cb;
};

// A monitor with its three trees, as one document of the program holds it.
struct CDocument {
    CMemoryTreeCtrl m_extTree;
    CMemoryTreeCtrl m_coTree;
    CMemoryTreeCtrl m_etcTree;
    CTapiMonitor m_monitor;

    explicit CDocument(const std::string& strLog) {
        Internals(m_monitor).m_strLogFile = strLog;
        m_monitor.SetExtTree(&m_extTree);
        m_monitor.SetCoTree(&m_coTree);
        m_monitor.SetEtcTree(&m_etcTree);
        m_monitor.Initialize();
        m_monitor.FillExtTree();
        m_monitor.FillCoTree();
        m_monitor.FillEtcTree();
    }
    // The n-th call of any group (in table order, EXT, CO, ETC) and its item.
    std::pair<HCALL, HTREEITEM> CallItem(std::size_t n) const {
        for (const auto* pCalls :
             {&Internals(m_monitor).m_extCalls, &Internals(m_monitor).m_coCalls, &Internals(m_monitor).m_etcCalls}) {
            for (const auto& entry : *pCalls) {
                if (n-- == 0) return entry;
            }
        }
        return {0, nullptr};
    }
    CLineDevCaps* Line(std::size_t n) const {
        for (const auto* pLines :
             {&Internals(m_monitor).m_extLines, &Internals(m_monitor).m_coLines, &Internals(m_monitor).m_etcLines}) {
            if (n < pLines->size()) return (*pLines)[n].get();
            n -= pLines->size();
        }
        return nullptr;
    }
};

void Deliver(CTestApp& app) {
    // A cap, in case the two sides ever answer each other for ever.
    for (int n = 0; n < 10000 && !g_queue.empty(); ++n) {
        sim::CSimMessage message = g_queue.front();
        g_queue.pop_front();
        if (!g_pSim->IsDeliverable(message)) continue;
        if (message.m_phCallOut != nullptr) *message.m_phCallOut = message.m_hCallOut;
        LineCallback(message.m_hDevice, message.m_dwMessage, message.m_dwInstance, message.m_dwParam1,
                     message.m_dwParam2, message.m_dwParam3);
        Collect();
    }
    app.m_information.clear();
    app.m_progress.clear();
    app.m_questions.clear();
}

std::string TimingKeys(CSteps& steps) {
    std::uint8_t b = 0;
    if (!steps.Take(&b)) return std::string();
    std::string str;
    if (b & 1) str += ", \"busy\": true";
    if (b & 2) str += ", \"noAnswer\": true";
    if (b & 4) str += ", \"ring\": " + std::to_string((b >> 3) & 3);
    if (b & 32) str += ", \"talk\": " + std::to_string((b >> 6) * 2);
    return str;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    void* hModule = platform::LoadLibraryModule(FAKE_TAPI_PATH);
    auto pfnInstall =
        hModule ? reinterpret_cast<PfnFakeTapiInstall>(platform::GetModuleSymbol(hModule, "FakeTapiInstall")) : nullptr;
    if (pfnInstall == nullptr) {
        std::fprintf(stderr, "the TAPI stand-in %s cannot be loaded\n", FAKE_TAPI_PATH);
        std::abort();
    }
    pfnInstall(&kHooks);
    tapi::ResetEntryTableForTests(FAKE_TAPI_PATH);
    platform::SetLocalTimeSourceForTests([](SYSTEMTIME* p) {
        *p = SYSTEMTIME{};
        p->wYear = 2026;
        p->wMonth = 12;
        p->wDay = 7;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t cbData) {
    static const std::string strLog = "/tmp/lsc_fuzz_events_" + std::to_string(getpid()) + ".csv";
    static sim::CSimScenario scenario = [] {
        sim::CSimScenario s;
        std::string strError;
        if (!sim::ParseScenario(kScenario, "fuzz", &s, &strError)) std::abort();
        return s;
    }();

    sim::CSimTapi simulator(scenario, sim::CSimHost{});
    g_pSim = &simulator;
    g_queue.clear();
    CTestApp app;
    auto pDoc = std::make_unique<CDocument>(strLog);
    app.m_pMonitor = &pDoc->m_monitor;
    Deliver(app);

    CSteps steps(pData, cbData);
    std::uint8_t bOp = 0;
    std::uint8_t a = 0;
    std::uint8_t b = 0;
    while (steps.Take(&bOp)) {
        switch (bOp % 9) {
            case 0:  // the clock moves
                if (!steps.Take(&a)) break;
                simulator.Advance(static_cast<sim::SimTime>(a) * 250);
                Collect();
                break;
            case 1: {  // something happens at the PBX
                if (!steps.Take(&a) || !steps.Take(&b)) break;
                const char* pszEvent = kEvents[a % 8];
                const char* pszOne = kNumbers[(a >> 3) % 8];
                const char* pszTwo = kNumbers[b % 8];
                std::string strJson = std::string("{\"event\": \"") + pszEvent + "\"";
                switch (a % 8) {
                    case 0:
                        strJson += ", \"from\": \"" + std::string(pszOne) + "\", \"to\": \"" + pszTwo + "\"";
                        break;
                    case 1:
                        strJson += ", \"to\": \"" + std::string(pszOne) + "\", \"caller\": \"0301234567\"";
                        if (b & 8) strJson += ", \"trunk\": \"" + std::string(kNumbers[3 + (b >> 4) % 2]) + "\"";
                        if (b & 64)
                            strJson += ", \"transferTo\": \"" + std::string(pszTwo) + "\", \"transferAfter\": 1";
                        break;
                    case 2:
                        strJson += ", \"from\": \"" + std::string(pszOne) + "\", \"number\": \"0409876543\"";
                        break;
                    case 5:
                        break;
                    default:
                        strJson += ", \"line\": \"" + std::string(pszOne) + "\"";
                        break;
                }
                strJson += TimingKeys(steps) + "}";
                std::string strError;
                static_cast<void>(simulator.Inject(strJson, &strError));
                Collect();
                break;
            }
            case 2:  // the user answers, drops or asks for a call's report
                if (!steps.Take(&a)) break;
                if (auto [hCall, hItem] = pDoc->CallItem(a >> 2); hItem != nullptr) {
                    if ((a & 3) == 0 && pDoc->m_monitor.CanAnswer(hItem)) pDoc->m_monitor.Answer(hItem);
                    if ((a & 3) == 1 && pDoc->m_monitor.CanDrop(hItem)) pDoc->m_monitor.Drop(hItem);
                    if ((a & 3) == 2) pDoc->m_monitor.ShowCallInfo(hCall);
                    if ((a & 3) == 3) {
                        pDoc->m_monitor.ShowExtCallInfo(hItem);
                        pDoc->m_monitor.ShowCoCallInfo(hItem);
                        pDoc->m_monitor.ShowEtcCallInfo(hItem);
                    }
                }
                break;
            case 3:  // the user makes a call from a line or asks for its report
                if (!steps.Take(&a)) break;
                if (CLineDevCaps* pLine = pDoc->Line(a >> 1)) {
                    if (a & 1) {
                        pDoc->m_monitor.ShowLineInfo(pLine);
                    } else if (pLine->m_hItem != nullptr) {
                        pDoc->m_monitor.MakeCall(pLine->m_hItem, kNumbers[(a >> 4) % 8]);
                    }
                }
                break;
            case 4:  // Ctrl+N: a new document, a new start
            {
                app.m_pMonitor = nullptr;
                pDoc.reset();
                Collect();
                Deliver(app);
                pDoc = std::make_unique<CDocument>(strLog);
                app.m_pMonitor = &pDoc->m_monitor;
                break;
            }
            case 5:  // a message no provider should send: any handle, any parameters
            {
                std::uint8_t bytes[4] = {};
                if (!steps.Take(&bytes[0]) || !steps.Take(&bytes[1]) || !steps.Take(&bytes[2]) ||
                    !steps.Take(&bytes[3]))
                    break;
                static const DWORD kMessages[] = {LINE_CALLSTATE,  LINE_CALLINFO,     LINE_LINEDEVSTATE, LINE_REPLY,
                                                  LINE_APPNEWCALL, LINE_ADDRESSSTATE, LINE_CLOSE,        0x7FFF};
                const DWORD hDevice = (bytes[0] & 0x80) ? 0x00020001u + (bytes[0] & 7)    // a line handle
                                                        : 0x00030001u + (bytes[0] & 15);  // a call handle
                const DWORD dwParam1 = (bytes[2] & 0x80) ? (1u << (bytes[2] & 31)) : bytes[2];
                LineCallback(hDevice, kMessages[bytes[1] % 8], 0, dwParam1, 0x00030001u + (bytes[3] & 15),
                             bytes[3] & 0x80 ? LINECALLPRIVILEGE_OWNER : LINECALLPRIVILEGE_MONITOR);
                Collect();
                break;
            }
            case 6:  // the program is told TAPI starts or the document goes away meanwhile
                if (!steps.Take(&a)) break;
                app.m_bTapiStarting = (a & 1) ? TRUE : FALSE;
                app.m_pMonitor = (a & 2) ? nullptr : &pDoc->m_monitor;
                break;
            default:  // the queued messages arrive
                break;
        }
        Deliver(app);
        // The program answers a REINIT question with a command: a new document or the end.
        for (UINT nID : app.m_postedCommands) {
            if (nID == ID_FILE_NEW || nID == ID_FILE_CLOSE) {
                app.m_pMonitor = nullptr;
                pDoc.reset();
                Collect();
                Deliver(app);
                pDoc = std::make_unique<CDocument>(strLog);
                app.m_pMonitor = &pDoc->m_monitor;
            }
        }
        app.m_postedCommands.clear();
    }
    app.m_pMonitor = nullptr;
    pDoc.reset();
    Collect();
    g_queue.clear();
    g_pSim = nullptr;
    std::remove(strLog.c_str());
    return 0;
}
