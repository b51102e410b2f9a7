// Scenarios: the devices of the simulated PBX and what happens on them, read
// from a JSON file (format in sim/README.md) or taken from the built-in office.
// A scenario that cannot be used is reported with the file, the place in it
// and the fault, so whoever wrote it can put it right.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/SimPbx.h"

namespace sim {

struct CSimScenario {
    std::string m_strName;
    std::uint64_t m_qwSeed = 1;
    bool m_bMonitorMayControl = false;  // let monitoring applications answer and drop
    std::vector<CSimLineConfig> m_lines;
    std::vector<CSimAction> m_timeline;
    CSimTraffic m_traffic;
};

// Parses scenario text. strSource names it in error messages (a file path).
bool ParseScenario(const std::string& strText, const std::string& strSource, CSimScenario* pScenario,
                   std::string* pstrError);
bool LoadScenarioFile(const std::string& strPath, CSimScenario* pScenario, std::string* pstrError);

// One event in the form of a timeline entry ("at" may be left out), checked
// against the scenario's devices; used to inject events while running.
bool ParseAction(const std::string& strText, const std::vector<CSimLineConfig>& lines, CSimAction* pAction,
                 std::string* pstrError);

// The built-in office: twelve extensions, four trunks, three other lines and
// steady random traffic with a fixed seed.
CSimScenario DefaultOffice();

// A model set up from a scenario: devices, timeline and traffic.
std::unique_ptr<CSimPbx> BuildPbx(const CSimScenario& scenario);

}  // namespace sim
