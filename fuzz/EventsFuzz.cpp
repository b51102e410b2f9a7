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
#include "support/FakeTapi.h"
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

// Every TAPI function the program calls, answered by the simulator; what a
// call that changes something sends is collected.
LONG Answer(const char* pszExport, const DWORD_PTR* a) {
    const std::string f = pszExport;
    const auto d = [a](int i) { return static_cast<DWORD>(a[i]); };
    const auto p = [a](int i) { return reinterpret_cast<void*>(a[i]); };
    const auto text = [a](int i) { return reinterpret_cast<LPCSTR>(a[i]); };
    sim::CSimTapi& s = *g_pSim;
    if (f == "lineGetAddressCapsA")
        return s.GetAddressCaps(d(0), d(1), d(2), d(3), d(4), static_cast<LINEADDRESSCAPS*>(p(5)));
    if (f == "lineGetAddressStatusA") return s.GetAddressStatus(d(0), d(1), static_cast<LINEADDRESSSTATUS*>(p(2)));
    if (f == "lineGetCallInfoA") return s.GetCallInfo(d(0), static_cast<LINECALLINFO*>(p(1)));
    if (f == "lineGetCallStatus") return s.GetCallStatus(d(0), static_cast<LINECALLSTATUS*>(p(1)));
    if (f == "lineGetDevCapsA") return s.GetDevCaps(d(0), d(1), d(2), d(3), static_cast<LINEDEVCAPS*>(p(4)));
    if (f == "lineGetLineDevStatus") return s.GetLineDevStatus(d(0), static_cast<LINEDEVSTATUS*>(p(1)));
    if (f == "lineNegotiateExtVersion")
        return s.NegotiateExtVersion(d(0), d(1), d(2), d(3), d(4), static_cast<DWORD*>(p(5)));
    const LONG lResult =
        f == "lineAnswer"           ? s.Answer(d(0), text(1), d(2))
        : f == "lineClose"          ? s.Close(d(0))
        : f == "lineDeallocateCall" ? s.DeallocateCall(d(0))
        : f == "lineDrop"           ? s.Drop(d(0), text(1), d(2))
        : f == "lineInitializeExA"  ? s.InitializeEx(static_cast<HLINEAPP*>(p(0)), reinterpret_cast<LINECALLBACK>(a[2]),
                                                     text(3), static_cast<DWORD*>(p(4)), static_cast<DWORD*>(p(5)),
                                                     static_cast<LINEINITIALIZEEXPARAMS*>(p(6)))
        : f == "lineMakeCallA"
            ? s.MakeCall(d(0), static_cast<HCALL*>(p(1)), text(2), d(3), static_cast<const LINECALLPARAMS*>(p(4)))
        : f == "lineOpenA"             ? s.Open(d(0), d(1), static_cast<HLINE*>(p(2)), d(3), d(4), a[5], d(6), d(7),
                                                static_cast<const LINECALLPARAMS*>(p(8)))
        : f == "lineSetStatusMessages" ? s.SetStatusMessages(d(0), d(1), d(2))
                                       : s.Shutdown(d(0));
    Collect();
    return lResult;
}

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
    CFakeTapi::Install(Answer);
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
