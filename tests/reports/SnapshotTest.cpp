// The snapshots as the rest of the program reads them: texts, lists, records
// and the call texts taken from the structure, never anything from outside
// it, whatever sizes, offsets and counts the provider wrote.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "reports/Snapshots.h"
#include "support/SnapshotTestSupport.h"
#include "tapi/TapiAbi.h"

using namespace snaptest;

namespace {

using Texts = std::vector<std::string>;

// The first cb bytes of the image, dwTotalSize and dwUsedSize saying cb.
std::vector<BYTE> CutTo(const CStructImage& img, std::size_t cb) {
    std::vector<BYTE> bytes = WithSizes(img);
    bytes.resize(cb);
    const DWORD dw = static_cast<DWORD>(cb);
    for (std::size_t at : {0, 8}) std::memcpy(bytes.data() + at, &dw, 4);
    return bytes;
}

TEST(SnapshotLists, AreBoundByTheirSizeCountEntrySizeAndExtent) {
    // Terminal modes: whole DWORDs only, none when the list reaches outside.
    for (auto [cbList, nModes] : {std::pair<int, int>{6, 1}, {3, 0}, {8, 2}, {9, 0}}) {
        const std::vector<DWORD> both = {LINETERMMODE_LAMPS, LINETERMMODE_DISPLAY};
        EXPECT_EQ(SnapshotOf<CLineDevStatus>("LINEDEVSTATUS\nTerminalModes = LINETERMMODE_LAMPS LINETERMMODE_DISPLAY\n"
                                             "dwTerminalModesSize = " +
                                             std::to_string(cbList))
                      .m_terminalModes,
                  std::vector<DWORD>(both.begin(), both.begin() + nModes))
            << cbList;
    }

    // App info: counted by dwNumOpens as far as the list's size holds; three
    // records lie there.
    auto apps = [](DWORD dwNumOpens, DWORD cbList) {
        auto img = StructureOf("LINEDEVSTATUS\ndwNumOpens = " + std::to_string(dwNumOpens) +
                               "\ndwAppInfoSize = " + std::to_string(cbList) + " 88");
        AppendRaw(img, std::string(3 * sizeof(LINEAPPINFO), '\x01'));
        auto status = SnapshotOf<CLineDevStatus>(img);
        EXPECT_EQ(status.m_nAppInfoLeftOut, 0u);
        return status.m_appInfo.size();
    };
    EXPECT_EQ(apps(2, 0), 0u);
    EXPECT_EQ(apps(2, 80), 2u);
    EXPECT_EQ(apps(3, 80), 2u);
    EXPECT_EQ(apps(3, 80 + 39), 2u);
    EXPECT_EQ(apps(0xFFFFFFFF, 0xFFFFFFFF), 3u);  // the extent ends it

    // Completion messages: texts of a fixed entry size, the structure cut
    // short by cbCut bytes.
    auto msgs = [](DWORD dwCount, DWORD cbEntry, std::size_t cbCut, DWORD cbList) {
        auto img = StructureOf(
            "LINEADDRESSCAPS\nCompletionMsgText = \"Busy\\0\\0\\0\\0\\0\\0Later\\0\\0\\0\\0\\0\"\n"
            "dwNumCompletionMessages = " +
            std::to_string(dwCount) + "\ndwCompletionMsgTextEntrySize = " + std::to_string(cbEntry) +
            "\ndwCompletionMsgTextSize = " + std::to_string(cbList));
        return SnapshotOf<CLineAddressCaps>(CutTo(img, img.Bytes().size() - cbCut)).m_completionMsgs;
    };
    EXPECT_EQ(msgs(2, 10, 0, 20), (Texts{"Busy", "Later"}));
    EXPECT_EQ(msgs(2, 0, 0, 20), Texts{});         // no entry size: no entries
    EXPECT_EQ(msgs(2, 10, 1, 20), Texts{"Busy"});  // the second reaches outside
    EXPECT_EQ(msgs(0xFFFFFFFF, 10, 0, 20), (Texts{"Busy", "Later"}));
    EXPECT_EQ(msgs(4, 5, 0, 20), (Texts{"Busy", "", "Later", ""}));
    EXPECT_EQ(msgs(2, 10, 0, 19), Texts{"Busy"});  // no more than the list has room for
    EXPECT_EQ(msgs(4, 5, 0, 10), (Texts{"Busy", ""}));
    EXPECT_EQ(msgs(2, 10, 0, 0), Texts{});

    // Call treatments: records whose names obey the containing structure; the
    // name at 264 lies after the three records, and only three are there.
    auto img = StructureOf(
        "LINEADDRESSCAPS\nCallTreatmentList = 1 6 264  2 7 264  3 6 0xFFFFFFFE\n"
        "dwNumCallTreatments = 5");
    AppendRaw(img, std::string("Music\0", 6));
    auto caps = SnapshotOf<CLineAddressCaps>(img);
    ASSERT_EQ(caps.m_callTreatments.size(), 3u);  // the 6 bytes after them are no 4th
    EXPECT_EQ(caps.m_callTreatments[0]->m_strCallTreatmentName, "Music");
    EXPECT_EQ(caps.m_callTreatments[1]->m_dwCallTreatmentID, 2u);
    EXPECT_EQ(caps.m_callTreatments[1]->m_strCallTreatmentName, "");  // runs one byte out
    EXPECT_EQ(caps.m_callTreatments[2]->m_strCallTreatmentName, "");
}

TEST(SnapshotAccessors, PaddedAddress) {
    const std::pair<const char*, const char*> cases[] = {{"21", "0021"},   {"7", "0007"},      {"321", "0321"},
                                                         {"4321", "4321"}, {"54321", "54321"}, {"", ""}};
    for (const auto& [pszAddress, pszPadded] : cases) {
        auto caps = SnapshotOf<CLineAddressCaps>(CFakeTapi::MakeAddressCaps(0, pszAddress));
        EXPECT_EQ(caps.GetAddress(), pszAddress);
        EXPECT_EQ(caps.GetPaddedAddress(), pszPadded);
    }
}

// A structure whose device-specific part (cbPart bytes of fill) holds at
// lengthAt a length and the offset of a text; the text lies at textAt from
// the part's start (inside the part, or right after it when textAt is cbPart).
template <typename T>
T WithDevSpecificText(const char* pszStruct, DWORD cbPart, char fill, std::size_t lengthAt, DWORD dwLength,
                      long long textAt, const std::string& text) {
    auto img = StructureOf(pszStruct);
    const DWORD dwText = static_cast<DWORD>(img.Bytes().size() + textAt);
    std::string part(cbPart, fill);
    if (lengthAt + 8 <= part.size()) {
        std::memcpy(&part[lengthAt], &dwLength, 4);
        std::memcpy(&part[lengthAt + 4], &dwText, 4);
    }
    if (textAt >= 0 && textAt + text.size() <= cbPart) part.replace(textAt, text.size(), text);
    img.AddBytes(Abi().fields.at(pszStruct).at("dwDevSpecificSize").at, part.data(), part.size());
    if (textAt == static_cast<long long>(cbPart)) AppendRaw(img, text);
    return SnapshotOf<T>(img);
}

// The EXT, CO and ETC display names of an address status whose name "Sales 1"
// is found as above.
std::string DisplayNames(DWORD cbPart, std::size_t lengthAt, DWORD dwLength, long long nameAt) {
    const auto status = WithDevSpecificText<CLineAddressStatus>("LINEADDRESSSTATUS", cbPart, '\0', lengthAt, dwLength,
                                                                nameAt, std::string("Sales 1\0", 8));
    return status.GetExtDisplayName() + "|" + status.GetCoDisplayName() + "|" + status.GetEtcDisplayName();
}

TEST(SnapshotAccessors, DisplayNamesByGroupFromInsideThePartOnly) {
    EXPECT_EQ(DisplayNames(60, 28, 8, 52), "Sales 1||");
    EXPECT_EQ(DisplayNames(60, 28, 5, 52), "Sales||");
    EXPECT_EQ(DisplayNames(51, 28, 8, 40), "||");  // part too short
    EXPECT_EQ(DisplayNames(16, 0, 8, 8), "|Sales 1|");
    EXPECT_EQ(DisplayNames(4, 0, 8, 0), "||");
    EXPECT_EQ(DisplayNames(40, 24, 8, 32), "||Sales 1");
    EXPECT_EQ(DisplayNames(31, 24, 8, 16), "||");
    // Placed outside the part, running past it, of an absurd or no length.
    EXPECT_EQ(DisplayNames(16, 0, 8, 16), "||");
    EXPECT_EQ(DisplayNames(16, 0, 9, 8), "||");
    EXPECT_EQ(DisplayNames(16, 0, 0xFFFFFFFF, 8), "||");
    EXPECT_EQ(DisplayNames(16, 0, 0, 8), "||");
    EXPECT_EQ(DisplayNames(8, 0, 4, -static_cast<long long>(sizeof(LINEADDRESSSTATUS))),
              "||");  // the structure's own header
}

// --- The readable extent --------------------------------------------------------

TEST(SnapshotExtent, FieldsBeyondUsedSizeReadAsZero) {
    // Filled for API 1.4: TAPI stops before dwSettableDevStatus and leaves the
    // rest of the buffer as it was.
    auto bytes =
        WithSizes(StructureOf("LINEDEVCAPS\ndwLineFeatures = LINEFEATURE_MAKECALL\n"
                              "dwSettableDevStatus = 0xCCCCCCCC\ndwDeviceClassesSize = 4"));
    const DWORD dwUsed = offsetof(LINEDEVCAPS, dwSettableDevStatus);
    std::memcpy(bytes.data() + 8, &dwUsed, 4);
    auto record = SnapshotOf<CLineDevCaps>(bytes);
    EXPECT_EQ(record.m_dwLineFeatures, LINEFEATURE_MAKECALL);
    EXPECT_EQ(record.m_dwSettableDevStatus, 0u);
    EXPECT_EQ(record.m_strDeviceClasses, "");

    // A buffer cut inside a field: that field and everything after it read 0.
    auto status = StructureOf("LINECALLSTATUS\ndwCallFeatures2 = 3\ntStateEntryTime = 2004 1 1 5 13 7 9 45");
    auto callStatus = SnapshotOf<CLineCallStatus>(CutTo(status, offsetof(LINECALLSTATUS, tStateEntryTime) + 5));
    EXPECT_EQ(callStatus.m_dwCallFeatures2, 3u);
    EXPECT_EQ(callStatus.m_tStateEntryTime.wMonth, 1);
    EXPECT_EQ(callStatus.m_tStateEntryTime.wDayOfWeek, 0);  // cut in half
    EXPECT_EQ(callStatus.m_tStateEntryTime.wSecond, 0);
}

TEST(SnapshotExtent, TakenFromTheSmallerOfUsedAndTotalButNeverBelowTheHeader) {
    auto bytes = WithSizes(CFakeTapi::MakeCallInfo(0x1001, "201", "301"));
    const DWORD dwFull = static_cast<DWORD>(bytes.size());
    auto build = [&](DWORD dwTotal, DWORD dwUsed) {
        std::memcpy(bytes.data(), &dwTotal, 4);
        std::memcpy(bytes.data() + 8, &dwUsed, 4);
        return SnapshotOf<CLineCallInfo>(bytes);
    };
    EXPECT_EQ(build(dwFull, dwFull).GetCalledID(), "301");
    EXPECT_EQ(build(dwFull, dwFull - 1).GetCalledID(), "");  // its NUL lies outside
    EXPECT_EQ(build(dwFull - 1, 0xFFFFFFFF).GetCalledID(), "");
    EXPECT_EQ(build(dwFull - 1, dwFull).GetCallerID(), "201");
    EXPECT_EQ(build(0, 0).GetLogFields(), ",,,,,,,");
    EXPECT_EQ(build(0, 0).m_hLine, 0u);
    EXPECT_EQ(build(16, 16).m_hLine, 0x1001u);
    EXPECT_EQ(build(16, 16).m_dwLineDeviceID, 0u);
}

TEST(SnapshotExtent, PartsOutsideOrOverflowingAreEmpty) {
    // The caller ID and its NUL take bytes 324 to 327, the end of the structure.
    auto info = SnapshotOf<CLineCallInfo>(
        "LINECALLINFO\nCallerID = \"201\\0\"\n"
        "dwCalledIDSize = 4 328\n"               // starts at the end
        "dwConnectedIDSize = 0x20 0xFFFFFFF0\n"  // offset + size overflows
        "dwRedirectionIDSize = 0xFFFFFFFF 1\n"
        "dwDevSpecificSize = 5 324\n"  // one byte too far
        "dwCallDataSize = 4 324");     // the caller ID, exactly
    EXPECT_EQ(info.GetCallerID() + "|" + info.GetCalledID() + info.GetConnectedID() + info.GetRedirectionID(), "201|");
    EXPECT_EQ(info.m_dwDevSpecificSize, 5u);   // what the provider said
    EXPECT_TRUE(info.m_pDevSpecific.empty());  // what could be read
    EXPECT_EQ(info.m_pCallData, (std::vector<BYTE>{'2', '0', '1', 0}));
}

TEST(SnapshotExtent, MisalignedAndMissingStructures) {
    // A provider's buffer need not be aligned: every field is copied, never
    // dereferenced in place (UndefinedBehaviorSanitizer watches).
    auto bytes = WithSizes(CFakeTapi::MakeCallInfo(0x1001, "201", "301"));
    bytes.insert(bytes.begin(), 0xEE);
    CExactBuffer buf(bytes);
    CLineCallInfo info(buf.Data() + 1);
    EXPECT_EQ(info.GetCallerID(), "201");
    EXPECT_EQ(info.m_dwTrunk, 0xFFFFFFFFu);

    // No structure at all: every member empty, every report made.
    EXPECT_EQ(CLineCallStatus(nullptr).Report(0).substr(0, 22), "<< LINECALLSTATUS >>\r\n");
    EXPECT_EQ(CLineCallInfo(nullptr).GetLogFields(), ",,,,,,,");
    EXPECT_FALSE(CLineDevStatus(nullptr).Report(0).empty());
    EXPECT_FALSE(CLineAddressCaps(nullptr).Report(0).empty());
    EXPECT_FALSE(CLineAddressStatus(nullptr).Report(0).empty());
    EXPECT_EQ(CLineForward(nullptr).m_strDestAddress, "");
    EXPECT_EQ(CLineDialParams(nullptr).m_dwDialPause, 0u);
}

// --- The call texts the call nodes and the event log read -------------------------

TEST(CallTexts, TrunkDidDdiStateModeAndAnswerable) {
    const std::pair<DWORD, const char*> trunks[] = {
        {3, "3"}, {0, "0"}, {0x80000000, "-2147483648"}, {0xFFFFFFFE, "-2"}, {0xFFFFFFFF, ""}};
    for (auto [dwTrunk, pszText] : trunks)
        EXPECT_EQ(SnapshotOf<CLineCallInfo>("LINECALLINFO\ndwTrunk = " + std::to_string(dwTrunk)).GetTrunkText(),
                  pszText);

    // DID/DDI digits: length and offset at bytes 12 and 16 of the
    // device-specific part (cbPart bytes), the digits inside it.
    auto did = [](DWORD cbPart, DWORD dwLength, long long fromPart, const std::string& digits) {
        return WithDevSpecificText<CLineCallInfo>("LINECALLINFO", cbPart, '\x7F', 12, dwLength, fromPart, digits)
            .GetDidDdiText();
    };
    EXPECT_EQ(did(60, 4, 40, "0312"), "0312");
    EXPECT_EQ(did(59, 4, 40, "0312"), "");      // too short a part
    EXPECT_EQ(did(64, 4, 60, "0312"), "0312");  // ends exactly at the part's end
    EXPECT_EQ(did(64, 5, 60, "0312"), "");      // one byte beyond the part
    EXPECT_EQ(did(64, 0xFFFFFFFF, 40, "0312"), "");
    EXPECT_EQ(did(64, 4, -256, ""), "");  // points before the part
    EXPECT_EQ(did(64, 8, 40, "03" + std::string(1, '\0') + "12"), "03");
    EXPECT_EQ(did(0, 4, 40, ""), "");

    // 0x4 is ACTIVEHELD among the connected modes, but not in the state's table.
    const std::string report =
        SnapshotOf<CLineCallStatus>(CFakeTapi::MakeCallStatus(LINECALLSTATE_CONNECTED, 4)).Report(0);
    EXPECT_NE(report.find("\r\n    dwCallStateMode = 0x00000004 \r\n"), std::string::npos) << report;

    const std::pair<DWORD, BOOL> states[] = {{LINECALLSTATE_IDLE, FALSE},         {LINECALLSTATE_OFFERING, TRUE},
                                             {LINECALLSTATE_ACCEPTED, TRUE},      {LINECALLSTATE_CONNECTED, FALSE},
                                             {LINECALLSTATE_DISCONNECTED, FALSE}, {0x6, FALSE}};
    for (const auto& [dwState, bAnswerable] : states) {
        auto status = SnapshotOf<CLineCallStatus>(CFakeTapi::MakeCallStatus(dwState));
        EXPECT_EQ(status.IsAnswerable(), bAnswerable) << dwState;
        EXPECT_TRUE(status.IsDroppable()) << dwState;
    }
}

}  // namespace
