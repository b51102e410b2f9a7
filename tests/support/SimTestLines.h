// Small line sets and event readers shared by the model tests.
#pragma once

#include <string>
#include <vector>

#include "model/SimPbx.h"

namespace simtest {

inline sim::CSimLineConfig Line(sim::ELineKind eKind, const std::string& strNumber, const std::string& strName,
                                DWORD dwTrunk = sim::kNoTrunk) {
    sim::CSimLineConfig line;
    line.m_eKind = eKind;
    line.m_strNumber = strNumber;
    line.m_strName = strName;
    line.m_dwTrunk = dwTrunk;
    return line;
}

// Extensions 201..203, trunks 801 and 802 (trunk numbers 1, 2).
inline std::vector<sim::CSimLineConfig> SmallOffice() {
    return {Line(sim::ELineKind::Ext, "201", "Reception"), Line(sim::ELineKind::Ext, "202", "Sales"),
            Line(sim::ELineKind::Ext, "203", "Manager"), Line(sim::ELineKind::Co, "801", "City 1", 1),
            Line(sim::ELineKind::Co, "802", "City 2", 2)};
}

// The call states one line went through, as "state" or "state/mode" texts.
inline std::vector<std::string> StatesOn(const std::vector<sim::CSimEvent>& events, DWORD dwLine) {
    std::vector<std::string> states;
    for (const sim::CSimEvent& event : events) {
        if (event.m_eKind == sim::EEventKind::CallState && event.m_dwLine == dwLine) {
            std::string str = sim::CallStateText(event.m_call.m_eState);
            switch (event.m_call.m_eMode) {
                case sim::EStateMode::BusyStation:
                    str += "/station";
                    break;
                case sim::EStateMode::BusyTrunk:
                    str += "/trunk";
                    break;
                case sim::EStateMode::DisconnectBusy:
                    str += "/busy";
                    break;
                case sim::EStateMode::DisconnectNoAnswer:
                    str += "/noanswer";
                    break;
                case sim::EStateMode::DisconnectUnreachable:
                    str += "/unreachable";
                    break;
                default:
                    break;
            }
            states.push_back(str);
        }
    }
    return states;
}

// The last event of a kind on a line, or null.
inline const sim::CSimEvent* LastOn(const std::vector<sim::CSimEvent>& events, DWORD dwLine, sim::EEventKind eKind) {
    const sim::CSimEvent* pLast = nullptr;
    for (const sim::CSimEvent& event : events) {
        if (event.m_eKind == eKind && event.m_dwLine == dwLine) {
            pLast = &event;
        }
    }
    return pLast;
}

// Advances in small steps and gathers every event.
inline void RunFor(sim::CSimPbx& pbx, sim::SimTime tFor, std::vector<sim::CSimEvent>* pEvents) {
    for (sim::SimTime t = 0; t < tFor; t += 100) {
        pbx.Advance(100);
        for (sim::CSimEvent& event : pbx.TakeEvents()) {
            pEvents->push_back(event);
        }
    }
}

}  // namespace simtest
