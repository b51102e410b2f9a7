// The TAPI vocabulary: which bits and values each family names, and in which
// order.
#include <gtest/gtest.h>

#include <functional>
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

// The formatter of a row: "CallStateModeName(STATE)" names the modes of that
// call state.
std::function<std::string(DWORD)> FormatterOf(const std::string& strName) {
    if (strName.rfind("CallStateModeName(", 0) == 0) {
        const DWORD dwState = snaptest::Abi().constants.at("LINECALLSTATE_" + strName.substr(18, strName.size() - 19));
        return [dwState](DWORD dwMode) { return CallStateModeName(dwState, dwMode); };
    }
    return kFormatters.count(strName) ? kFormatters.at(strName) : nullptr;
}

// Every name of every family (golden/constant_names.txt) tied to the constant
// of that name in our TAPI header, which the Windows build checks against the
// toolchain's tapi.h; each formatter has its row, and no bit outside it is
// named.
TEST(TapiNamesTest, EveryNameOfEveryFamilyIsItsConstant) {
    std::istringstream rows(snaptest::ReadGoldenText("constant_names.txt"));
    std::set<std::string> seen;
    for (std::string row; std::getline(rows, row);) {
        std::istringstream words(row);
        std::string strFormatter, strPrefix, strJoined;
        if (!(words >> strFormatter >> strPrefix) || strFormatter[0] == '#') continue;
        SCOPED_TRACE(strFormatter);
        const auto pfnText = FormatterOf(strFormatter);
        ASSERT_TRUE(pfnText && seen.insert(strFormatter).second);
        std::set<DWORD> values;
        for (std::string name; words >> name; strJoined += (strJoined.empty() ? "" : ",") + name) {
            ASSERT_EQ(snaptest::Abi().constants.count(strPrefix + name), 1u) << name;
            values.insert(snaptest::Abi().constants.at(strPrefix + name));
            EXPECT_EQ(pfnText(snaptest::Abi().constants.at(strPrefix + name)), name);
        }
        for (int nBit = 0; nBit < 32; ++nBit)
            EXPECT_TRUE(values.count(DWORD{1} << nBit) || pfnText(DWORD{1} << nBit).empty()) << "bit " << nBit;
        EXPECT_EQ(pfnText(0), "");
        // A flag family names no bit beyond its row, and in the row's order.
        const std::string strAll = pfnText(0xFFFFFFFF);
        EXPECT_TRUE(strAll.empty() || strAll == strJoined) << strAll;
    }
    EXPECT_EQ(seen.size(), kFormatters.size() + 6);  // and the six states with modes
}

// A value formatter names one value only: past the last value, or two bits
// of a bit-position table, is no value. Only the states of the
// CallStateModeName rows name their modes: every other state, a set of states
// and no state name none, and no state names two modes.
TEST(TapiNamesTest, ValueFormattersAndOtherCallStatesNameNothingElse) {
    const std::pair<FlagFormatter, DWORD> unnamed[] = {
        {StringFormatName, 5}, {AddressModeName, 3}, {RemoveFromConfName, 4}, {TermModeName, 3}};
    for (const auto& [pfnName, dwValue] : unnamed) EXPECT_EQ(pfnName(dwValue), "") << std::hex << dwValue;
    const std::set<DWORD> named = {LINECALLSTATE_OFFERING,    LINECALLSTATE_DIALTONE,  LINECALLSTATE_BUSY,
                                   LINECALLSTATE_SPECIALINFO, LINECALLSTATE_CONNECTED, LINECALLSTATE_DISCONNECTED};
    for (int nBit = -3; nBit < 32; ++nBit) {  // -3..-1: no state, a set of states, every state
        const DWORD dwState = nBit < 0 ? std::vector<DWORD>{0, 0x102, 0xFFFFFFFF}[nBit + 3] : DWORD{1} << nBit;
        const DWORD dwTwo = (DWORD{1} << (nBit & 31)) | (nBit == 0 ? 2 : 1);
        EXPECT_EQ(CallStateName(dwTwo) + CallInfoStateName(dwTwo), "") << "bit " << nBit;
        for (int nMode = 0; nMode < 32 && !named.count(dwState); ++nMode)
            EXPECT_EQ(CallStateModeName(dwState, DWORD{1} << nMode), "") << std::hex << dwState << " " << nMode;
        EXPECT_EQ(CallStateModeName(dwState, 0) + CallStateModeName(dwState, 0x3), "") << std::hex << dwState;
    }
    EXPECT_EQ(IndentText(-1), "");
    EXPECT_EQ(HexDumpText(nullptr, 5, 2), "        ") << "no bytes to read means no bytes dumped";
}

}  // namespace
