#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "model/SimLayouts.h"
#include "service/SimTapi.h"
#include "sim/SimTestData.h"

using namespace sim;

namespace {

void CALLBACK IgnoreCallback(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

const std::map<DWORD, const char*> kMessages = {{LINE_REPLY, "reply"},
                                                {LINE_CALLSTATE, "state"},
                                                {LINE_CALLINFO, "info"},
                                                {LINE_APPNEWCALL, "new"},
                                                {LINE_LINEDEVSTATE, "dev"}};

// A buffer handed to whichever structure a query fills.
struct AnyPtr {
    void* p;
    template <class T>
    operator T*() const {
        return static_cast<T*>(p);
    }
};

// Its arguments one after another, numbers in upper-case hex.
template <class... T>
std::string Hex(const T&... args) {
    std::ostringstream out;
    out << std::hex << std::uppercase;
    (out << ... << args);
    return out.str();
}

// A structure fetched as a careful client does: first dwFirst bytes (filled with
// 0xCD), then at most nPasses - 1 times exactly what was asked for. Shown as the
// result, the buffer's size, every DWORD of the fixed part that is not 0, and the
// bytes after it up to dwUsedSize; after a failure, dwNeededSize and dwUsedSize.
std::string Fetch(const std::function<LONG(AnyPtr)>& fnQuery, DWORD dwFixed, DWORD dwFirst, int nPasses) {
    std::vector<BYTE> buffer(dwFirst, 0xCD);
    LONG lResult = 0;
    for (int nPass = 0; nPass < nPasses && lResult == 0; ++nPass) {
        if (nPass > 0 && GetDword(buffer, 4) <= buffer.size()) break;
        buffer.assign(nPass == 0 ? dwFirst : GetDword(buffer, 4), 0xCD);
        PutDword(buffer, 0, static_cast<DWORD>(buffer.size()));
        lResult = fnQuery(AnyPtr{buffer.data()});
    }
    std::ostringstream out;
    out << std::hex << lResult << " size " << buffer.size() << ":";
    const std::size_t nUsed = std::min<std::size_t>(lResult == 0 ? GetDword(buffer, 8) : 12, buffer.size());
    for (DWORD i = 4; i + 4 <= std::min<std::size_t>(dwFixed, nUsed); i += 4) {
        if (GetDword(buffer, i) != 0) out << " " << i << "=" << GetDword(buffer, i);
    }
    out << " |";
    for (std::size_t i = dwFixed; i < nUsed; ++i) {
        const BYTE b = buffer[i];
        char sz[8];
        std::snprintf(sz, sizeof sz, b >= 0x20 && b < 0x7F && b != '\\' ? "%c" : "\\%02X", b);
        out << sz;
    }
    return out.str();
}

}  // namespace

// tapi-office.json: 0: ext 201 (DID 0312), 1: ext 202, 2: trunk 801, 3: voice mail (etc), 4: fax of another
// provider, 5: a door phone that cannot be opened and refuses TAPI 2.0.
// sessions.txt: what applications do, one call a line, each followed by the lines the
// journal recorded, what the calls it does not record returned, and the messages then
// delivered: kind, application, device, instance, parameters ("dropped" when what one
// is about is gone by then). "new" starts a simulator; "hold" keeps a call's messages
// until the next call. Numbers are written as in C: 0x for hex. "init" takes the name,
// API version, options, how many bytes short the parameters are, and which pointers to
// leave null (1 the handle, 2 the callback, 4 the device count, 8 the parameters); it
// shows the version agreed, or after a failure the handle. A seventh number to "open"
// and a third word to "make" leave the handle's pointer null.
TEST(SimTapi, SessionsJournalEveryCallAndDeliverEveryMessageInOrder) {
    std::unique_ptr<CSimTapi> pTapi;
    std::vector<CSimMessage> held;
    HCALL hMade = 0;
    std::string strOut;
    ExpectDataFile("sessions.txt", [&](const std::string& strInput) {
        strOut.clear();
        std::istringstream lines(strInput);
        for (std::string strLine; std::getline(lines, strLine);) {
            std::istringstream cmd(strLine);
            std::string strVerb, strError;
            cmd >> strVerb;
            const bool bHold = strVerb == "hold";
            if (bHold) cmd >> strVerb;
            std::vector<std::string> words;
            for (std::string strWord; cmd >> strWord;) words.push_back(strWord);
            auto n = [&words](std::size_t i, DWORD dwDefault = 0) {
                return i < words.size() ? static_cast<DWORD>(std::stoul(words[i], nullptr, 0)) : dwDefault;
            };
            const std::string strText = words.empty() ? "" : words.back();
            if (strVerb == "new") {  // the office of tapi-office.json, the program started at 09:00 on 6 May 2024
                CSimScenario scenario;
                EXPECT_TRUE(LoadScenarioFile(SIM_TEST_DATA "/tapi-office.json", &scenario, &strError)) << strError;
                pTapi = std::make_unique<CSimTapi>(
                    scenario, CSimHost{"SIMPC", "user", "C:\\demo\\linoscope3.exe", {2024, 5, 1, 6, 9, 0, 0, 0}});
                held.clear();
                pTapi->SetJournal([&strOut](const std::string& str) { strOut += str + "\n"; });
                continue;
            }
            CSimTapi& t = *pTapi;
            auto fetch = [&](DWORD dwFixed, std::size_t nAt, const std::function<LONG(AnyPtr)>& fn) {
                strOut += Fetch(fn, n(nAt + 2, dwFixed), n(nAt, dwFixed), static_cast<int>(n(nAt + 1, 2))) + "\n";
            };
            if (strVerb == "init") {
                HLINEAPP hApp = 0;
                DWORD dwDevices = 0, dwVersion = n(1, TAPI_VERSION_2_0), dwNull = n(4);
                LINEINITIALIZEEXPARAMS params{static_cast<DWORD>(sizeof params - n(3)),     0,  0,
                                              n(2, LINEINITIALIZEEXOPTION_USEHIDDENWINDOW), {}, 0};
                LONG lResult = t.InitializeEx(dwNull & 1 ? nullptr : &hApp, dwNull & 2 ? nullptr : IgnoreCallback,
                                              words[0].c_str(), dwNull & 4 ? nullptr : &dwDevices, &dwVersion,
                                              dwNull & 8 ? nullptr : &params);
                strOut += Hex(lResult == 0 ? "api " : "handle ", unsigned(lResult == 0 ? dwVersion : hApp), "\n");
            } else if (strVerb == "shutdown") {
                t.Shutdown(n(0));
            } else if (strVerb == "open") {
                HLINE hLine = 0;
                t.Open(n(0), n(1), n(6) != 0 ? nullptr : &hLine, n(3, TAPI_VERSION_2_0), n(4), 0x100 + n(1), n(2, 2),
                       n(5, 4), nullptr);
            } else if (strVerb == "status") {
                t.SetStatusMessages(n(0), n(1), n(2));
            } else if (strVerb == "close") {
                t.Close(n(0));
            } else if (strVerb == "make") {
                t.MakeCall(n(0), words.size() > 2 ? nullptr : &hMade, words.size() > 1 ? words[1].c_str() : "", 0,
                           nullptr);
                strOut += hMade != 0 ? "the call handle was written before LINE_REPLY\n" : "";
            } else if (strVerb == "answer") {
                t.Answer(n(0), nullptr, 0);
            } else if (strVerb == "drop") {
                t.Drop(n(0), words.size() > 1 ? strText.c_str() : nullptr, words.size() > 1 ? strText.size() : 0);
            } else if (strVerb == "dealloc") {
                t.DeallocateCall(n(0));
            } else if (strVerb == "advance") {
                t.Advance(n(0));
            } else if (strVerb == "inject") {
                strOut += t.Inject(strLine.substr(strLine.find('{')), &strError) ? "" : strError + "\n";
            } else if (strVerb == "negotiate") {
                DWORD dwExt = 0;
                LONG lResult = t.NegotiateExtVersion(n(0), n(1), n(2), n(3), n(4), &dwExt);
                strOut += Hex(unsigned(lResult), " ext ", dwExt, "\n");
            } else if (strVerb == "devcaps") {
                fetch(sizeof(LINEDEVCAPS), 4, [&](AnyPtr p) { return t.GetDevCaps(n(0), n(1), n(2), n(3), p); });
            } else if (strVerb == "addresscaps") {
                fetch(sizeof(LINEADDRESSCAPS), 5,
                      [&](AnyPtr p) { return t.GetAddressCaps(n(0), n(1), n(2), n(3), n(4), p); });
            } else if (strVerb == "addressstatus") {
                fetch(sizeof(LINEADDRESSSTATUS), 2, [&](AnyPtr p) { return t.GetAddressStatus(n(0), n(1), p); });
            } else if (strVerb == "devstatus") {
                fetch(sizeof(LINEDEVSTATUS), 1, [&](AnyPtr p) { return t.GetLineDevStatus(n(0), p); });
            } else if (strVerb == "callinfo") {
                fetch(sizeof(LINECALLINFO), 1, [&](AnyPtr p) { return t.GetCallInfo(n(0), p); });
            } else if (strVerb == "callstatus") {
                fetch(sizeof(LINECALLSTATUS), 1, [&](AnyPtr p) { return t.GetCallStatus(n(0), p); });
            } else {
                ADD_FAILURE() << "unknown: " << strLine;
            }
            std::vector<CSimMessage> messages = t.TakeMessages();
            held.insert(held.end(), messages.begin(), messages.end());
            for (const CSimMessage& m : bHold ? std::vector<CSimMessage>{} : held) {
                strOut += Hex(t.IsDeliverable(m) ? "" : "dropped ", kMessages.at(m.m_dwMessage), " ",
                              unsigned(m.m_hApp), " ", unsigned(m.m_hDevice), " i", unsigned(m.m_dwInstance), " ",
                              unsigned(m.m_dwParam1), " ", unsigned(m.m_dwParam2), " ", unsigned(m.m_dwParam3));
                if (m.m_phCallOut != nullptr)
                    strOut += Hex(" hCall ", unsigned(m.m_hCallOut), m.m_phCallOut == &hMade ? "" : " elsewhere");
                strOut += "\n";
            }
            held.resize(bHold ? held.size() : 0);
        }
        return strOut;
    });
}
