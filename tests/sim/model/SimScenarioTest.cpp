#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "model/SimScenario.h"
#include "sim/SimTestData.h"

using namespace sim;

namespace {

const char* const kKinds[] = {"ext", "co", "etc", "other"};

std::string Describe(const CSimScenario& s) {
    const CSimTraffic& t = s.m_traffic;
    std::ostringstream out;
    out << "seed " << s.m_qwSeed << ", monitors " << (s.m_bMonitorMayControl ? "control" : "watch") << ", "
        << s.m_timeline.size() << " events, traffic ";
    if (t.m_bEnabled) {
        out << "every " << t.m_tMeanInterval << " ms, mix " << t.m_dwInternal << " " << t.m_dwInbound << " "
            << t.m_dwOutbound << " " << t.m_dwBusy << " " << t.m_dwNoAnswer << " " << t.m_dwTransfer << ", ring "
            << t.m_tRingMin << "-" << t.m_tRingMax << ", talk " << t.m_tTalkMin << "-" << t.m_tTalkMax << ", "
            << t.m_externalCallers.size() << " callers";
    } else {
        out << "off";
    }
    for (const CSimLineConfig& l : s.m_lines) {
        out << "\n"
            << kKinds[static_cast<int>(l.m_eKind)] << " " << l.m_strNumber << std::hex << std::uppercase << " id "
            << l.m_dwPermanentLineID << std::dec << " trunk "
            << (l.m_dwTrunk == kNoTrunk ? "-" : std::to_string(l.m_dwTrunk)) << " did " << l.m_strDid << " \""
            << l.m_strProvider << "\" \"" << l.m_strSwitchInfo << "\" \"" << l.m_strLineName << "\" \"" << l.m_strName
            << "\"" << std::hex;
        for (DWORD dwVersion : l.m_refusedVersions) out << " refuses " << dwVersion;
        out << std::dec << (l.m_bOpenFails ? " fails" : "") << (l.m_bInService ? "" : " out");
    }
    return out.str();
}

}  // namespace

// scenarios.txt: scenario texts with the devices the reader makes of them or the
// fault it names; "event " and one injected event, checked against the devices of
// the scenario before it; "file " and a file of the data folder; "default" for the
// built-in office; "examples" for the built-in office and every example that ships, each
// with the kinds of line its first ten minutes brought calls to.
TEST(SimScenario, ReaderTurnsTextIntoDevicesOrNamesTheFileThePlaceAndTheFault) {
    CSimScenario last;
    ExpectDataFile("scenarios.txt", [&last](const std::string& strInput) {
        std::string strError, strOut;
        if (strInput == "examples") {
            std::set<std::string> names{""};
            for (const auto& entry : std::filesystem::directory_iterator(SIM_SCENARIO_DIR))
                names.insert(entry.path().filename().string());
            for (const std::string& strName : names) {
                CSimScenario s = DefaultOffice();
                if (!strName.empty() && !LoadScenarioFile(SIM_SCENARIO_DIR "/" + strName, &s, &strError))
                    return strError;
                std::unique_ptr<CSimPbx> pPbx = BuildPbx(s);
                pPbx->Advance(600000);
                std::set<ELineKind> kinds;
                for (const CSimEvent& e : pPbx->TakeEvents())
                    if (e.m_eKind == EEventKind::NewCall) kinds.insert(s.m_lines[e.m_dwLine].m_eKind);
                strOut += strName.empty() ? "default:" : strName + ":";
                for (ELineKind eKind : kinds) strOut += std::string(" ") + kKinds[static_cast<int>(eKind)];
                strOut += "\n";
            }
            return strOut;
        }
        if (strInput.rfind("event ", 0) == 0) {
            CSimAction action;
            return ParseAction(strInput.substr(6), last.m_lines, &action, &strError) ? std::string("ok") : strError;
        }
        CSimScenario scenario;
        const std::string strData = SIM_TEST_DATA;
        if (strInput == "default") {
            scenario = DefaultOffice();
        } else if (strInput.rfind("file ", 0) == 0
                       ? !LoadScenarioFile(strData + "/" + strInput.substr(5), &scenario, &strError)
                       : !ParseScenario(strInput, "office.json", &scenario, &strError)) {
            return strError.rfind(strData, 0) == 0 ? "data" + strError.substr(strData.size()) : strError;
        }
        last = scenario;
        return Describe(scenario);
    });
}
