// Fuzz target: a scenario file as anyone may write it. Read it; when it is
// usable, run its PBX for ten minutes of scenario time. The same text is also
// tried as an injected event against the built-in office.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "model/SimScenario.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t cbData) {
    const std::string strText(reinterpret_cast<const char*>(pData), cbData);
    sim::CSimScenario scenario;
    std::string strError;
    if (sim::ParseScenario(strText, "fuzz.json", &scenario, &strError)) {
        if (!strError.empty() || scenario.m_lines.empty()) std::abort();
        std::unique_ptr<sim::CSimPbx> pPbx = sim::BuildPbx(scenario);
        for (int i = 0; i < 60; ++i) {
            pPbx->Advance(10000);
            static_cast<void>(pPbx->TakeEvents());
        }
    } else if (strError.rfind("fuzz.json: ", 0) != 0) {
        std::abort();  // every fault names the file
    }

    static const sim::CSimScenario office = sim::DefaultOffice();
    sim::CSimAction action;
    if (sim::ParseAction(strText, office.m_lines, &action, &strError)) {
        std::unique_ptr<sim::CSimPbx> pPbx = sim::BuildPbx(office);
        static_cast<void>(pPbx->RunAction(action, &strError));
        pPbx->Advance(120000);
        static_cast<void>(pPbx->TakeEvents());
    } else if (strError.rfind("event: ", 0) != 0) {
        std::abort();
    }
    return 0;
}
