// Name tables of the TAPI constant families and the formatters over them.
//
// Almost every family is a run of single bits, so a table is simply the list of
// names by bit position: entry i names bit (1 << i), and an empty entry is a bit
// this program leaves unnamed. The flag rule walks the set bits of a field; the
// value rule names a field only when it is exactly one of those bits. The two
// true enumerations (string formats, remove-from-conference) count from 1.
#include "reports/TapiNames.h"

#include <bit>
#include <cstddef>
#include <span>

namespace {

using CNameList = std::span<const std::string_view>;

constexpr std::string_view kNoName{};

// --- Flag families, by bit position from 0x00000001 -----------------------

constexpr std::string_view kAddressModes[] = {"ADDRESSID", "DIALABLEADDR"};

constexpr std::string_view kBearerModes[] = {
    "VOICE", "SPEECH", "MULTIUSE", "DATA", "ALTSPEECHDATA", "NONCALLSIGNALING", "PASSTHROUGH", "RESTRICTEDDATA",
};

// Bit 0x1 is not a TAPI media mode.
constexpr std::string_view kMediaModes[] = {
    kNoName,       "UNKNOWN", "INTERACTIVEVOICE", "AUTOMATEDVOICE", "DATAMODEM", "G3FAX", "TDD",       "G4FAX",
    "DIGITALDATA", "TELETEX", "VIDEOTEX",         "TELEX",          "MIXED",     "ADSI",  "VOICEVIEW",
};

constexpr std::string_view kToneModes[] = {"CUSTOM", "RINGBACK", "BUSY", "BEEP", "BILLING"};

// Generating digits has no "end of DTMF" mode, so the generate list stops short.
constexpr std::string_view kDigitModes[] = {"PULSE", "DTMF", "DTMFEND"};
constexpr std::size_t kGenerateDigitModeCount = 2;

constexpr std::string_view kDevCapFlags[] = {
    "CROSSADDRCONF", "HIGHLEVCOMP", "LOWLEVCOMP", "MEDIACONTROL", "MULTIPLEADDR",
    "CLOSEDROP",     "DIALBILLING", "DIALQUIET",  "DIALDIALTONE",
};

constexpr std::string_view kAnswerModes[] = {"NONE", "DROP", "HOLD"};

constexpr std::string_view kDevStatusFlags[] = {"CONNECTED", "MSGWAIT", "INSERVICE", "LOCKED"};

constexpr std::string_view kLineFeatures[] = {
    "DEVSPECIFIC", "DEVSPECIFICFEAT", "FORWARD",    "MAKECALL",   "SETMEDIACONTROL",
    "SETTERMINAL", "SETDEVSTATUS",    "FORWARDFWD", "FORWARDDND",
};

constexpr std::string_view kRoamModes[] = {"UNKNOWN", "UNAVAIL", "HOME", "ROAMA", "ROAMB"};

constexpr std::string_view kTermModes[] = {
    "BUTTONS", "LAMPS", "DISPLAY", "RINGER", "HOOKSWITCH", "MEDIATOLINE", "MEDIAFROMLINE", "MEDIABIDIRECT",
};

constexpr std::string_view kCallInfoStates[] = {
    "OTHER",         "DEVSPECIFIC",   "BEARERMODE",   "RATE",         "MEDIAMODE",     "APPSPECIFIC",   "CALLID",
    "RELATEDCALLID", "ORIGIN",        "REASON",       "COMPLETIONID", "NUMOWNERINCR",  "NUMOWNERDECR",  "NUMMONITORS",
    "TRUNK",         "CALLERID",      "CALLEDID",     "CONNECTEDID",  "REDIRECTIONID", "REDIRECTINGID", "DISPLAY",
    "USERUSERINFO",  "HIGHLEVELCOMP", "LOWLEVELCOMP", "CHARGINGINFO", "TERMINAL",      "DIALPARAMS",    "MONITORMODES",
    "TREATMENT",     "QOS",           "CALLDATA",
};

constexpr std::string_view kCallStates[] = {
    "IDLE",           "OFFERING",           "ACCEPTED",     "DIALTONE",   "DIALING", "RINGBACK",
    "BUSY",           "SPECIALINFO",        "CONNECTED",    "PROCEEDING", "ONHOLD",  "CONFERENCED",
    "ONHOLDPENDCONF", "ONHOLDPENDTRANSFER", "DISCONNECTED", "UNKNOWN",
};

constexpr std::string_view kLineDevStates[] = {
    "OTHER",        "RINGING",         "CONNECTED",   "DISCONNECTED", "MSGWAITON", "MSGWAITOFF",     "INSERVICE",
    "OUTOFSERVICE", "MAINTENANCE",     "OPEN",        "CLOSE",        "NUMCALLS",  "NUMCOMPLETIONS", "TERMINALS",
    "ROAMMODE",     "BATTERY",         "SIGNAL",      "DEVSPECIFIC",  "REINIT",    "LOCK",           "CAPSCHANGE",
    "CONFIGCHANGE", "TRANSLATECHANGE", "COMPLCANCEL", "REMOVED",
};

constexpr std::string_view kPartyIDFlags[] = {
    "BLOCKED", "OUTOFAREA", "NAME", "ADDRESS", "PARTIAL", "UNKNOWN", "UNAVAIL",
};

constexpr std::string_view kDialToneModes[] = {"NORMAL", "SPECIAL", "INTERNAL", "EXTERNAL", "UNKNOWN", "UNAVAIL"};

constexpr std::string_view kBusyModes[] = {"STATION", "TRUNK", "UNKNOWN", "UNAVAIL"};

constexpr std::string_view kSpecialInfo[] = {"NOCIRCUIT", "CUSTIRREG", "REORDER", "UNKNOWN", "UNAVAIL"};

constexpr std::string_view kDisconnectModes[] = {
    "NORMAL",     "UNKNOWN",     "REJECT",     "PICKUP",       "FORWARDED",    "BUSY",       "NOANSWER",
    "BADADDRESS", "UNREACHABLE", "CONGESTION", "INCOMPATIBLE", "UNAVAIL",      "NODIALTONE", "NUMBERCHANGED",
    "OUTOFORDER", "TEMPFAILURE", "QOSUNAVAIL", "BLOCKED",      "DONOTDISTURB", "CANCELLED",
};

constexpr std::string_view kCallFeatures[] = {
    "ACCEPT",         "ADDTOCONF",     "ANSWER",       "BLINDTRANSFER",  "COMPLETECALL",        "COMPLETETRANSF",
    "DIAL",           "DROP",          "GATHERDIGITS", "GENERATEDIGITS", "GENERATETONE",        "HOLD",
    "MONITORDIGITS",  "MONITORMEDIA",  "MONITORTONES", "PARK",           "PREPAREADDCONF",      "REDIRECT",
    "REMOVEFROMCONF", "SECURECALL",    "SENDUSERUSER", "SETCALLPARAMS",  "SETMEDIACONTROL",     "SETTERMINAL",
    "SETUPCONF",      "SETUPTRANSFER", "SWAPHOLD",     "UNHOLD",         "RELEASEUSERUSERINFO", "SETTREATMENT",
    "SETQOS",         "SETCALLDATA",
};

constexpr std::string_view kCallFeatures2[] = {
    "NOHOLDCONFERENCE", "ONESTEPTRANSFER", "COMPLCAMPON",  "COMPLCALLBACK", "COMPLINTRUDE",
    "COMPLMESSAGE",     "TRANSFERNORM",    "TRANSFERCONF", "PARKDIRECT",    "PARKNONDIRECT",
};

constexpr std::string_view kTransferModes[] = {"TRANSFER", "CONFERENCE"};

constexpr std::string_view kParkModes[] = {"DIRECTED", "NONDIRECTED"};

constexpr std::string_view kForwardModes[] = {
    "UNCOND",       "UNCONDINTERNAL", "UNCONDEXTERNAL", "UNCONDSPECIFIC", "BUSY",           "BUSYINTERNAL",
    "BUSYEXTERNAL", "BUSYSPECIFIC",   "NOANSW",         "NOANSWINTERNAL", "NOANSWEXTERNAL", "NOANSWSPECIFIC",
    "BUSYNA",       "BUSYNAINTERNAL", "BUSYNAEXTERNAL", "BUSYNASPECIFIC", "UNKNOWN",        "UNAVAIL",
};

constexpr std::string_view kCallComplConds[] = {"BUSY", "NOANSWER"};

constexpr std::string_view kCallComplModes[] = {"CAMPON", "CALLBACK", "INTRUDE", "MESSAGE"};

constexpr std::string_view kAddressFeatures[] = {
    "FORWARD", "MAKECALL",   "PICKUP",      "SETMEDIACONTROL", "SETTERMINAL",   "SETUPCONF",  "UNCOMPLETECALL",
    "UNPARK",  "PICKUPHELD", "PICKUPGROUP", "PICKUPDIRECT",    "PICKUPWAITING", "FORWARDFWD", "FORWARDDND",
};

constexpr std::string_view kAddressSharing[] = {"PRIVATE", "BRIDGEDEXCL", "BRIDGEDNEW", "BRIDGEDSHARED", "MONITORED"};

constexpr std::string_view kAddressStates[] = {
    "OTHER", "DEVSPECIFIC", "INUSEZERO", "INUSEONE", "INUSEMANY", "NUMCALLS", "FORWARD", "TERMINALS", "CAPSCHANGE",
};

constexpr std::string_view kAddrCapFlags[] = {
    "FWDNUMRINGS",   "PICKUPGROUPID", "SECURE",         "BLOCKIDDEFAULT",  "BLOCKIDOVERRIDE", "DIALED",
    "ORIGOFFHOOK",   "DESTOFFHOOK",   "FWDCONSULT",     "SETUPCONFNULL",   "AUTORECONNECT",   "COMPLETIONID",
    "TRANSFERHELD",  "TRANSFERMAKE",  "CONFERENCEHELD", "CONFERENCEMAKE",  "PARTIALDIAL",     "FWDSTATUSVALID",
    "FWDINTEXTADDR", "FWDBUSYNAADDR", "ACCEPTTOALERT",  "CONFDROP",        "PICKUPCALLWAIT",  "PREDICTIVEDIALER",
    "QUEUE",         "ROUTEPOINT",    "HOLDMAKESNEW",   "NOINTERNALCALLS", "NOEXTERNALCALLS", "SETCALLINGID",
};

constexpr std::string_view kConnectedModes[] = {"ACTIVE", "INACTIVE", "ACTIVEHELD", "INACTIVEHELD", "CONFIRMED"};

constexpr std::string_view kOfferingModes[] = {"ACTIVE", "INACTIVE"};

// Bit 0x08 is not a TAPI origin.
constexpr std::string_view kCallOrigins[] = {
    "OUTBOUND", "INTERNAL", "EXTERNAL", kNoName, "UNKNOWN", "UNAVAIL", "CONFERENCE", "INBOUND",
};

constexpr std::string_view kCallReasons[] = {
    "DIRECT",   "FWDBUSY",  "FWDNOANSWER", "FWDUNCOND", "PICKUP",  "UNPARK", "REDIRECT", "CALLCOMPLETION",
    "TRANSFER", "REMINDER", "UNKNOWN",     "UNAVAIL",   "INTRUDE", "PARKED", "CAMPEDON", "ROUTEREQUEST",
};

constexpr std::string_view kCallParamFlags[] = {
    "SECURE", "IDLE", "BLOCKID", "ORIGOFFHOOK", "DESTOFFHOOK", "NOHOLDCONFERENCE", "PREDICTIVEDIAL", "ONESTEPTRANSFER",
};

constexpr std::string_view kCallPrivileges[] = {"NONE", "MONITOR", "OWNER"};

// --- Enumerations, by value from 1 ------------------------------------------

constexpr std::string_view kStringFormats[] = {"ASCII", "DBCS", "UNICODE", "BINARY"};

constexpr std::string_view kRemoveFromConf[] = {"NONE", "LAST", "ANY"};

// A wrong count here would shift every later name onto the wrong bit.
static_assert(std::size(kBearerModes) == 8);
static_assert(std::size(kMediaModes) == 15);
static_assert(std::size(kDevCapFlags) == 9);
static_assert(std::size(kLineFeatures) == 9);
static_assert(std::size(kCallInfoStates) == 31);
static_assert(std::size(kCallStates) == 16);
static_assert(std::size(kLineDevStates) == 25);
static_assert(std::size(kDisconnectModes) == 20);
static_assert(std::size(kCallFeatures) == 32);
static_assert(std::size(kCallFeatures2) == 10);
static_assert(std::size(kForwardModes) == 18);
static_assert(std::size(kAddressFeatures) == 14);
static_assert(std::size(kAddressStates) == 9);
static_assert(std::size(kAddrCapFlags) == 30);
static_assert(std::size(kCallOrigins) == 8);
static_assert(std::size(kCallReasons) == 16);
static_assert(std::size(kCallParamFlags) == 8);

// --- The three rules ------------------------------------------------------

// Walks the set bits of dwFlags in ascending order that have a name.
template <typename Visit>
void ForEachNamedBit(CNameList names, DWORD dwFlags, Visit visit) {
    for (DWORD dwRest = dwFlags; dwRest != 0; dwRest &= dwRest - 1) {
        const auto nBit = static_cast<std::size_t>(std::countr_zero(dwRest));
        if (nBit >= names.size()) return;  // every later bit is beyond the table too
        if (!names[nBit].empty()) visit(names[nBit]);
    }
}

std::string FlagsText(CNameList names, DWORD dwFlags) {
    // Measure first so the result is allocated once.
    std::size_t nLength = 0;
    ForEachNamedBit(names, dwFlags, [&](std::string_view name) { nLength += name.size() + 1; });

    std::string text;
    if (nLength == 0) return text;
    text.reserve(nLength - 1);
    ForEachNamedBit(names, dwFlags, [&](std::string_view name) {
        if (!text.empty()) text += ',';
        text += name;
    });
    return text;
}

// Value rule over a bit-position table: exactly one named bit, nothing else.
std::string SingleBitName(CNameList names, DWORD dwValue) {
    if (!std::has_single_bit(dwValue)) return {};
    const auto nBit = static_cast<std::size_t>(std::countr_zero(dwValue));
    return nBit < names.size() ? std::string(names[nBit]) : std::string();
}

// Value rule over an enumeration counted from 1.
std::string EnumName(CNameList names, DWORD dwValue) {
    return dwValue >= 1 && dwValue <= names.size() ? std::string(names[dwValue - 1]) : std::string();
}

// LINECALLSTATE_ values that carry a mode; the numbers are TAPI's.
constexpr DWORD kStateOffering = 0x00000002;
constexpr DWORD kStateDialTone = 0x00000008;
constexpr DWORD kStateBusy = 0x00000040;
constexpr DWORD kStateSpecialInfo = 0x00000080;
constexpr DWORD kStateConnected = 0x00000100;
constexpr DWORD kStateDisconnected = 0x00004000;

// A call state names only the first modes of its family; the later TAPI
// additions are left for the capability reports.
constexpr std::size_t kConnectedStateModeCount = 2;      // ACTIVE, INACTIVE
constexpr std::size_t kDisconnectedStateModeCount = 12;  // NORMAL .. UNAVAIL

CNameList StateModeNames(DWORD dwCallState) {
    switch (dwCallState) {
        case kStateOffering:
            return kOfferingModes;
        case kStateDialTone:
            return kDialToneModes;
        case kStateBusy:
            return kBusyModes;
        case kStateSpecialInfo:
            return kSpecialInfo;
        case kStateConnected:
            return CNameList(kConnectedModes).first(kConnectedStateModeCount);
        case kStateDisconnected:
            return CNameList(kDisconnectModes).first(kDisconnectedStateModeCount);
        default:
            return {};
    }
}

}  // namespace

std::string StringFormatName(DWORD dwValue) {
    return EnumName(kStringFormats, dwValue);
}
std::string AddressModeName(DWORD dwValue) {
    return SingleBitName(kAddressModes, dwValue);
}
std::string BearerModesText(DWORD dwFlags) {
    return FlagsText(kBearerModes, dwFlags);
}
std::string MediaModesText(DWORD dwFlags) {
    return FlagsText(kMediaModes, dwFlags);
}
std::string ToneModesText(DWORD dwFlags) {
    return FlagsText(kToneModes, dwFlags);
}
std::string GenerateDigitModesText(DWORD dwFlags) {
    return FlagsText(CNameList(kDigitModes).first(kGenerateDigitModeCount), dwFlags);
}
std::string MonitorDigitModesText(DWORD dwFlags) {
    return FlagsText(kDigitModes, dwFlags);
}
std::string DevCapFlagsText(DWORD dwFlags) {
    return FlagsText(kDevCapFlags, dwFlags);
}
std::string AnswerModesText(DWORD dwFlags) {
    return FlagsText(kAnswerModes, dwFlags);
}
std::string DevStatusFlagsText(DWORD dwFlags) {
    return FlagsText(kDevStatusFlags, dwFlags);
}
std::string LineFeaturesText(DWORD dwFlags) {
    return FlagsText(kLineFeatures, dwFlags);
}
std::string RoamModesText(DWORD dwFlags) {
    return FlagsText(kRoamModes, dwFlags);
}
std::string TermModeName(DWORD dwValue) {
    return SingleBitName(kTermModes, dwValue);
}
std::string CallInfoStateName(DWORD dwValue) {
    return SingleBitName(kCallInfoStates, dwValue);
}
std::string CallInfoStatesText(DWORD dwFlags) {
    return FlagsText(kCallInfoStates, dwFlags);
}
std::string CallStateName(DWORD dwValue) {
    return SingleBitName(kCallStates, dwValue);
}
std::string CallStatesText(DWORD dwFlags) {
    return FlagsText(kCallStates, dwFlags);
}
std::string LineDevStatesText(DWORD dwFlags) {
    return FlagsText(kLineDevStates, dwFlags);
}
std::string PartyIDFlagsText(DWORD dwFlags) {
    return FlagsText(kPartyIDFlags, dwFlags);
}
std::string DialToneModesText(DWORD dwFlags) {
    return FlagsText(kDialToneModes, dwFlags);
}
std::string BusyModesText(DWORD dwFlags) {
    return FlagsText(kBusyModes, dwFlags);
}
std::string SpecialInfoText(DWORD dwFlags) {
    return FlagsText(kSpecialInfo, dwFlags);
}
std::string DisconnectModesText(DWORD dwFlags) {
    return FlagsText(kDisconnectModes, dwFlags);
}
std::string CallFeaturesText(DWORD dwFlags) {
    return FlagsText(kCallFeatures, dwFlags);
}
std::string CallFeatures2Text(DWORD dwFlags) {
    return FlagsText(kCallFeatures2, dwFlags);
}
std::string TransferModesText(DWORD dwFlags) {
    return FlagsText(kTransferModes, dwFlags);
}
std::string ParkModesText(DWORD dwFlags) {
    return FlagsText(kParkModes, dwFlags);
}
std::string ForwardModesText(DWORD dwFlags) {
    return FlagsText(kForwardModes, dwFlags);
}
std::string CallComplCondsText(DWORD dwFlags) {
    return FlagsText(kCallComplConds, dwFlags);
}
std::string CallComplModesText(DWORD dwFlags) {
    return FlagsText(kCallComplModes, dwFlags);
}
std::string AddressFeaturesText(DWORD dwFlags) {
    return FlagsText(kAddressFeatures, dwFlags);
}
std::string AddressSharingText(DWORD dwFlags) {
    return FlagsText(kAddressSharing, dwFlags);
}
std::string AddressStatesText(DWORD dwFlags) {
    return FlagsText(kAddressStates, dwFlags);
}
std::string AddrCapFlagsText(DWORD dwFlags) {
    return FlagsText(kAddrCapFlags, dwFlags);
}
std::string RemoveFromConfName(DWORD dwValue) {
    return EnumName(kRemoveFromConf, dwValue);
}
std::string ConnectedModesText(DWORD dwFlags) {
    return FlagsText(kConnectedModes, dwFlags);
}
std::string OfferingModesText(DWORD dwFlags) {
    return FlagsText(kOfferingModes, dwFlags);
}
std::string CallOriginText(DWORD dwFlags) {
    return FlagsText(kCallOrigins, dwFlags);
}
std::string CallReasonText(DWORD dwFlags) {
    return FlagsText(kCallReasons, dwFlags);
}
std::string CallParamFlagsText(DWORD dwFlags) {
    return FlagsText(kCallParamFlags, dwFlags);
}
std::string CallPrivilegesText(DWORD dwFlags) {
    return FlagsText(kCallPrivileges, dwFlags);
}

std::string CallStateModeName(DWORD dwCallState, DWORD dwCallStateMode) {
    return SingleBitName(StateModeNames(dwCallState), dwCallStateMode);
}
