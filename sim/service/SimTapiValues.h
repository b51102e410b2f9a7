// The model's values in TAPI's constants: call states and their modes,
// origins, reasons, the call-info states that changed, what a state lets an
// application do with its call, and which party ID parts are known.
#pragma once

#include "model/SimTypes.h"
#include "tapi/TapiAbi.h"

namespace sim {

DWORD TapiState(ECallState eState);
DWORD TapiMode(EStateMode eMode);
DWORD TapiOrigin(DWORD dwOrigin);
DWORD TapiReason(EReason eReason);
DWORD TapiInfoStates(DWORD dwInfo);
// What an application may do with a call in this state.
DWORD CallFeatures(ECallState eState);
DWORD PartyFlags(const CSimParty& party);

}  // namespace sim
