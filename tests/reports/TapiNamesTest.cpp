// The TAPI vocabulary: which bits and values each family names, and in which
// order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "reports/TapiNames.h"
#include "tapi/TapiAbi.h"

namespace {

using FlagFormatter = std::string (*)(DWORD);

// Every name of every family tied to its constant of TapiAbi.h, which the
// Windows build checks against the toolchain's tapi.h. A row lists a family's
// names in ascending value order; FAMILY pastes each onto the family prefix.
#define LSC_EXPAND(...) LSC_EXPAND3(LSC_EXPAND3(LSC_EXPAND3(__VA_ARGS__)))
#define LSC_EXPAND3(...) LSC_EXPAND2(LSC_EXPAND2(LSC_EXPAND2(__VA_ARGS__)))
#define LSC_EXPAND2(...) LSC_EXPAND1(LSC_EXPAND1(LSC_EXPAND1(__VA_ARGS__)))
#define LSC_EXPAND1(...) __VA_ARGS__
#define LSC_PASTE_EACH(prefix, ...) __VA_OPT__(LSC_EXPAND(LSC_PASTE_NEXT(prefix, __VA_ARGS__)))
#define LSC_PASTE_NEXT(prefix, name, ...) prefix##name, __VA_OPT__(LSC_PASTE_AGAIN LSC_PARENS(prefix, __VA_ARGS__))
#define LSC_PASTE_AGAIN() LSC_PASTE_NEXT
#define LSC_PARENS ()
#define FAMILY(formatter, prefix, ...)          \
    {                                           \
#formatter, formatter, #__VA_ARGS__, {  \
            LSC_PASTE_EACH(prefix, __VA_ARGS__) \
        }                                       \
    }

struct ConstantFamily {
    const char* pszFormatter;
    FlagFormatter pfnText;
    const char* pszNames;  // "NAME1, NAME2, ..."
    std::vector<DWORD> values;
};

// Two names are macros of the platform headers; here they are only names.
#pragma push_macro("CALLBACK")
#pragma push_macro("PASSTHROUGH")
#undef CALLBACK
#undef PASSTHROUGH
const ConstantFamily kConstantFamilies[] = {
    FAMILY(BearerModesText, LINEBEARERMODE_, VOICE, SPEECH, MULTIUSE, DATA, ALTSPEECHDATA, NONCALLSIGNALING,
           PASSTHROUGH, RESTRICTEDDATA),
    FAMILY(MediaModesText, LINEMEDIAMODE_, UNKNOWN, INTERACTIVEVOICE, AUTOMATEDVOICE, DATAMODEM, G3FAX, TDD, G4FAX,
           DIGITALDATA, TELETEX, VIDEOTEX, TELEX, MIXED, ADSI, VOICEVIEW),
    FAMILY(ToneModesText, LINETONEMODE_, CUSTOM, RINGBACK, BUSY, BEEP, BILLING),
    FAMILY(MonitorDigitModesText, LINEDIGITMODE_, PULSE, DTMF, DTMFEND),
    FAMILY(GenerateDigitModesText, LINEDIGITMODE_, PULSE, DTMF),
    FAMILY(DevCapFlagsText, LINEDEVCAPFLAGS_, CROSSADDRCONF, HIGHLEVCOMP, LOWLEVCOMP, MEDIACONTROL, MULTIPLEADDR,
           CLOSEDROP, DIALBILLING, DIALQUIET, DIALDIALTONE),
    FAMILY(AnswerModesText, LINEANSWERMODE_, NONE, DROP, HOLD),
    FAMILY(DevStatusFlagsText, LINEDEVSTATUSFLAGS_, CONNECTED, MSGWAIT, INSERVICE, LOCKED),
    FAMILY(LineFeaturesText, LINEFEATURE_, DEVSPECIFIC, DEVSPECIFICFEAT, FORWARD, MAKECALL, SETMEDIACONTROL,
           SETTERMINAL, SETDEVSTATUS, FORWARDFWD, FORWARDDND),
    FAMILY(RoamModesText, LINEROAMMODE_, UNKNOWN, UNAVAIL, HOME, ROAMA, ROAMB),
    FAMILY(TermModeName, LINETERMMODE_, BUTTONS, LAMPS, DISPLAY, RINGER, HOOKSWITCH, MEDIATOLINE, MEDIAFROMLINE,
           MEDIABIDIRECT),
    FAMILY(CallInfoStatesText, LINECALLINFOSTATE_, OTHER, DEVSPECIFIC, BEARERMODE, RATE, MEDIAMODE, APPSPECIFIC, CALLID,
           RELATEDCALLID, ORIGIN, REASON, COMPLETIONID, NUMOWNERINCR, NUMOWNERDECR, NUMMONITORS, TRUNK, CALLERID,
           CALLEDID, CONNECTEDID, REDIRECTIONID, REDIRECTINGID, DISPLAY, USERUSERINFO, HIGHLEVELCOMP, LOWLEVELCOMP,
           CHARGINGINFO, TERMINAL, DIALPARAMS, MONITORMODES, TREATMENT, QOS, CALLDATA),
    FAMILY(CallStatesText, LINECALLSTATE_, IDLE, OFFERING, ACCEPTED, DIALTONE, DIALING, RINGBACK, BUSY, SPECIALINFO,
           CONNECTED, PROCEEDING, ONHOLD, CONFERENCED, ONHOLDPENDCONF, ONHOLDPENDTRANSFER, DISCONNECTED, UNKNOWN),
    FAMILY(LineDevStatesText, LINEDEVSTATE_, OTHER, RINGING, CONNECTED, DISCONNECTED, MSGWAITON, MSGWAITOFF, INSERVICE,
           OUTOFSERVICE, MAINTENANCE, OPEN, CLOSE, NUMCALLS, NUMCOMPLETIONS, TERMINALS, ROAMMODE, BATTERY, SIGNAL,
           DEVSPECIFIC, REINIT, LOCK, CAPSCHANGE, CONFIGCHANGE, TRANSLATECHANGE, COMPLCANCEL, REMOVED),
    FAMILY(PartyIDFlagsText, LINECALLPARTYID_, BLOCKED, OUTOFAREA, NAME, ADDRESS, PARTIAL, UNKNOWN, UNAVAIL),
    FAMILY(DialToneModesText, LINEDIALTONEMODE_, NORMAL, SPECIAL, INTERNAL, EXTERNAL, UNKNOWN, UNAVAIL),
    FAMILY(BusyModesText, LINEBUSYMODE_, STATION, TRUNK, UNKNOWN, UNAVAIL),
    FAMILY(SpecialInfoText, LINESPECIALINFO_, NOCIRCUIT, CUSTIRREG, REORDER, UNKNOWN, UNAVAIL),
    FAMILY(DisconnectModesText, LINEDISCONNECTMODE_, NORMAL, UNKNOWN, REJECT, PICKUP, FORWARDED, BUSY, NOANSWER,
           BADADDRESS, UNREACHABLE, CONGESTION, INCOMPATIBLE, UNAVAIL, NODIALTONE, NUMBERCHANGED, OUTOFORDER,
           TEMPFAILURE, QOSUNAVAIL, BLOCKED, DONOTDISTURB, CANCELLED),
    FAMILY(CallFeaturesText, LINECALLFEATURE_, ACCEPT, ADDTOCONF, ANSWER, BLINDTRANSFER, COMPLETECALL, COMPLETETRANSF,
           DIAL, DROP, GATHERDIGITS, GENERATEDIGITS, GENERATETONE, HOLD, MONITORDIGITS, MONITORMEDIA, MONITORTONES,
           PARK, PREPAREADDCONF, REDIRECT, REMOVEFROMCONF, SECURECALL, SENDUSERUSER, SETCALLPARAMS, SETMEDIACONTROL,
           SETTERMINAL, SETUPCONF, SETUPTRANSFER, SWAPHOLD, UNHOLD, RELEASEUSERUSERINFO, SETTREATMENT, SETQOS,
           SETCALLDATA),
    FAMILY(CallFeatures2Text, LINECALLFEATURE2_, NOHOLDCONFERENCE, ONESTEPTRANSFER, COMPLCAMPON, COMPLCALLBACK,
           COMPLINTRUDE, COMPLMESSAGE, TRANSFERNORM, TRANSFERCONF, PARKDIRECT, PARKNONDIRECT),
    FAMILY(TransferModesText, LINETRANSFERMODE_, TRANSFER, CONFERENCE),
    FAMILY(ParkModesText, LINEPARKMODE_, DIRECTED, NONDIRECTED),
    FAMILY(ForwardModesText, LINEFORWARDMODE_, UNCOND, UNCONDINTERNAL, UNCONDEXTERNAL, UNCONDSPECIFIC, BUSY,
           BUSYINTERNAL, BUSYEXTERNAL, BUSYSPECIFIC, NOANSW, NOANSWINTERNAL, NOANSWEXTERNAL, NOANSWSPECIFIC, BUSYNA,
           BUSYNAINTERNAL, BUSYNAEXTERNAL, BUSYNASPECIFIC, UNKNOWN, UNAVAIL),
    FAMILY(CallComplCondsText, LINECALLCOMPLCOND_, BUSY, NOANSWER),
    FAMILY(CallComplModesText, LINECALLCOMPLMODE_, CAMPON, CALLBACK, INTRUDE, MESSAGE),
    FAMILY(AddressFeaturesText, LINEADDRFEATURE_, FORWARD, MAKECALL, PICKUP, SETMEDIACONTROL, SETTERMINAL, SETUPCONF,
           UNCOMPLETECALL, UNPARK, PICKUPHELD, PICKUPGROUP, PICKUPDIRECT, PICKUPWAITING, FORWARDFWD, FORWARDDND),
    FAMILY(AddressSharingText, LINEADDRESSSHARING_, PRIVATE, BRIDGEDEXCL, BRIDGEDNEW, BRIDGEDSHARED, MONITORED),
    FAMILY(AddressStatesText, LINEADDRESSSTATE_, OTHER, DEVSPECIFIC, INUSEZERO, INUSEONE, INUSEMANY, NUMCALLS, FORWARD,
           TERMINALS, CAPSCHANGE),
    FAMILY(AddrCapFlagsText, LINEADDRCAPFLAGS_, FWDNUMRINGS, PICKUPGROUPID, SECURE, BLOCKIDDEFAULT, BLOCKIDOVERRIDE,
           DIALED, ORIGOFFHOOK, DESTOFFHOOK, FWDCONSULT, SETUPCONFNULL, AUTORECONNECT, COMPLETIONID, TRANSFERHELD,
           TRANSFERMAKE, CONFERENCEHELD, CONFERENCEMAKE, PARTIALDIAL, FWDSTATUSVALID, FWDINTEXTADDR, FWDBUSYNAADDR,
           ACCEPTTOALERT, CONFDROP, PICKUPCALLWAIT, PREDICTIVEDIALER, QUEUE, ROUTEPOINT, HOLDMAKESNEW, NOINTERNALCALLS,
           NOEXTERNALCALLS, SETCALLINGID),
    FAMILY(ConnectedModesText, LINECONNECTEDMODE_, ACTIVE, INACTIVE, ACTIVEHELD, INACTIVEHELD, CONFIRMED),
    FAMILY(OfferingModesText, LINEOFFERINGMODE_, ACTIVE, INACTIVE),
    FAMILY(CallOriginText, LINECALLORIGIN_, OUTBOUND, INTERNAL, EXTERNAL, UNKNOWN, UNAVAIL, CONFERENCE, INBOUND),
    FAMILY(CallReasonText, LINECALLREASON_, DIRECT, FWDBUSY, FWDNOANSWER, FWDUNCOND, PICKUP, UNPARK, REDIRECT,
           CALLCOMPLETION, TRANSFER, REMINDER, UNKNOWN, UNAVAIL, INTRUDE, PARKED, CAMPEDON, ROUTEREQUEST),
    FAMILY(CallParamFlagsText, LINECALLPARAMFLAGS_, SECURE, IDLE, BLOCKID, ORIGOFFHOOK, DESTOFFHOOK, NOHOLDCONFERENCE,
           PREDICTIVEDIAL, ONESTEPTRANSFER),
    FAMILY(CallPrivilegesText, LINECALLPRIVILEGE_, NONE, MONITOR, OWNER),
    FAMILY(AddressModeName, LINEADDRESSMODE_, ADDRESSID, DIALABLEADDR),
    FAMILY(StringFormatName, STRINGFORMAT_, ASCII, DBCS, UNICODE, BINARY),
    FAMILY(RemoveFromConfName, LINEREMOVEFROMCONF_, NONE, LAST, ANY),
};
#pragma pop_macro("PASSTHROUGH")
#pragma pop_macro("CALLBACK")

TEST(TapiNamesTest, EveryNameOfEveryFamilyIsItsConstant) {
    for (const ConstantFamily& family : kConstantFamilies) {
        SCOPED_TRACE(family.pszFormatter);
        std::string strJoined = family.pszNames;
        std::erase(strJoined, ' ');
        std::istringstream names(strJoined);
        std::size_t i = 0;
        for (std::string name; std::getline(names, name, ','); ++i) {
            ASSERT_LT(i, family.values.size());
            EXPECT_EQ(family.pfnText(family.values[i]), name) << "0x" << std::hex << family.values[i];
        }
        EXPECT_EQ(i, family.values.size());
        EXPECT_EQ(family.pfnText(0), "");
        // A flag family names no bit beyond its row, and in the row's order.
        const std::string strAll = family.pfnText(0xFFFFFFFF);
        EXPECT_TRUE(strAll.empty() || strAll == strJoined) << strAll;
    }
}

// A value formatter names one value only: past the last value, or two bits
// of a bit-position table, is no value; where it shares its names with a flag
// family, it agrees with it on single bits.
TEST(TapiNamesTest, ValueFormattersNameSingleValuesOnly) {
    const std::pair<FlagFormatter, DWORD> unnamed[] = {
        {StringFormatName, 5}, {AddressModeName, 3}, {RemoveFromConfName, 4}, {TermModeName, 3}, {TermModeName, 0x100}};
    for (const auto& [pfnName, dwValue] : unnamed) EXPECT_EQ(pfnName(dwValue), "") << std::hex << dwValue;
    const std::pair<FlagFormatter, FlagFormatter> pairs[] = {{CallStateName, CallStatesText},
                                                             {CallInfoStateName, CallInfoStatesText}};
    for (const auto& [pfnName, pfnText] : pairs) {
        for (int nBit = 0; nBit < 32; ++nBit) {
            const DWORD dwBit = DWORD{1} << nBit;
            EXPECT_EQ(pfnName(dwBit), pfnText(dwBit)) << "bit " << nBit;
            EXPECT_EQ(pfnName(dwBit | (dwBit == 1 ? 2 : 1)), "") << "bit " << nBit;
        }
        EXPECT_EQ(pfnName(0xFFFFFFFF), "");
    }
    EXPECT_EQ(IndentText(-1), "");
    EXPECT_EQ(HexDumpText(nullptr, 5, 2), "        ") << "no bytes to read means no bytes dumped";
}

// A call state's mode is named from the short mode table of that state only;
// every other state, a set of states and no state name no mode at all.
TEST(TapiNamesTest, CallStateModeNamesOnlyTheShortModeTableOfItsState) {
    const struct {
        DWORD dwState;
        FlagFormatter pfnFamily;
        DWORD dwNamedModes;
    } modeStates[] = {
        {LINECALLSTATE_OFFERING, OfferingModesText, 0x3},
        {LINECALLSTATE_DIALTONE, DialToneModesText, 0x3F},
        {LINECALLSTATE_BUSY, BusyModesText, 0xF},
        {LINECALLSTATE_SPECIALINFO, SpecialInfoText, 0x1F},
        {LINECALLSTATE_CONNECTED, ConnectedModesText, 0x3},        // ACTIVE, INACTIVE
        {LINECALLSTATE_DISCONNECTED, DisconnectModesText, 0xFFF},  // NORMAL .. UNAVAIL
    };
    std::vector<DWORD> otherStates = {0, 0x102, 0xFFFFFFFF, 0x10000};
    for (DWORD dwState = 1; dwState < 0x10000; dwState <<= 1) {
        const auto* p = std::find_if(std::begin(modeStates), std::end(modeStates),
                                     [&](const auto& s) { return s.dwState == dwState; });
        if (p == std::end(modeStates)) otherStates.push_back(dwState);
    }
    for (const auto& s : modeStates) {
        for (int nBit = 0; nBit < 32; ++nBit) {
            const DWORD dwMode = DWORD{1} << nBit;
            EXPECT_EQ(CallStateModeName(s.dwState, dwMode), (s.dwNamedModes & dwMode) ? s.pfnFamily(dwMode) : "")
                << std::hex << s.dwState << " " << nBit;
        }
        EXPECT_EQ(CallStateModeName(s.dwState, 0) + CallStateModeName(s.dwState, 0x3), "");
    }
    for (const DWORD dwState : otherStates) {
        for (int nBit = 0; nBit < 32; ++nBit)
            EXPECT_EQ(CallStateModeName(dwState, DWORD{1} << nBit), "") << std::hex << dwState << " " << nBit;
    }
}

}  // namespace
