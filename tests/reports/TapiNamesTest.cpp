// The TAPI vocabulary: which bits and values each family names, and in which
// order.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "reports/TapiNames.h"
#include "support/SnapshotTestSupport.h"
#include "tapi/TapiAbi.h"

namespace {

using FlagFormatter = std::string (*)(DWORD);

#define LSC_FORMATTER(name) \
    { #name, name }
const std::map<std::string, FlagFormatter> kFormatters = {
    LSC_FORMATTER(BearerModesText),       LSC_FORMATTER(MediaModesText),         LSC_FORMATTER(ToneModesText),
    LSC_FORMATTER(MonitorDigitModesText), LSC_FORMATTER(GenerateDigitModesText), LSC_FORMATTER(DevCapFlagsText),
    LSC_FORMATTER(AnswerModesText),       LSC_FORMATTER(DevStatusFlagsText),     LSC_FORMATTER(LineFeaturesText),
    LSC_FORMATTER(RoamModesText),         LSC_FORMATTER(TermModeName),           LSC_FORMATTER(CallInfoStatesText),
    LSC_FORMATTER(CallInfoStateName),     LSC_FORMATTER(CallStatesText),         LSC_FORMATTER(CallStateName),
    LSC_FORMATTER(LineDevStatesText),     LSC_FORMATTER(PartyIDFlagsText),       LSC_FORMATTER(DialToneModesText),
    LSC_FORMATTER(BusyModesText),         LSC_FORMATTER(SpecialInfoText),        LSC_FORMATTER(DisconnectModesText),
    LSC_FORMATTER(CallFeaturesText),      LSC_FORMATTER(CallFeatures2Text),      LSC_FORMATTER(TransferModesText),
    LSC_FORMATTER(ParkModesText),         LSC_FORMATTER(ForwardModesText),       LSC_FORMATTER(CallComplCondsText),
    LSC_FORMATTER(CallComplModesText),    LSC_FORMATTER(AddressFeaturesText),    LSC_FORMATTER(AddressSharingText),
    LSC_FORMATTER(AddressStatesText),     LSC_FORMATTER(AddrCapFlagsText),       LSC_FORMATTER(ConnectedModesText),
    LSC_FORMATTER(OfferingModesText),     LSC_FORMATTER(CallOriginText),         LSC_FORMATTER(CallReasonText),
    LSC_FORMATTER(CallParamFlagsText),    LSC_FORMATTER(CallPrivilegesText),     LSC_FORMATTER(AddressModeName),
    LSC_FORMATTER(StringFormatName),      LSC_FORMATTER(RemoveFromConfName)};

// Every name of every family (golden/constant_names.txt) tied to the constant
// of that name in our TAPI header, which the Windows build checks against the
// toolchain's tapi.h; each formatter has its row.
TEST(TapiNamesTest, EveryNameOfEveryFamilyIsItsConstant) {
    std::istringstream rows(snaptest::ReadGoldenText("constant_names.txt"));
    std::set<std::string> seen;
    for (std::string row; std::getline(rows, row);) {
        std::istringstream words(row);
        std::string strFormatter, strPrefix, strJoined;
        if (!(words >> strFormatter >> strPrefix) || strFormatter[0] == '#') continue;
        SCOPED_TRACE(strFormatter);
        ASSERT_TRUE(kFormatters.count(strFormatter) && seen.insert(strFormatter).second);
        const FlagFormatter pfnText = kFormatters.at(strFormatter);
        for (std::string name; words >> name; strJoined += (strJoined.empty() ? "" : ",") + name) {
            ASSERT_EQ(snaptest::Abi().constants.count(strPrefix + name), 1u) << name;
            EXPECT_EQ(pfnText(snaptest::Abi().constants.at(strPrefix + name)), name);
        }
        EXPECT_EQ(pfnText(0), "");
        // A flag family names no bit beyond its row, and in the row's order.
        const std::string strAll = pfnText(0xFFFFFFFF);
        EXPECT_TRUE(strAll.empty() || strAll == strJoined) << strAll;
    }
    EXPECT_EQ(seen.size(), kFormatters.size());
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
