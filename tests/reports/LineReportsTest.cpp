// The line reports against hand-written golden texts, and fed with broken
// structures: whatever the provider wrote, every report is made with all of
// its fixed lines, and nothing outside the structure is read.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "reports/Snapshots.h"
#include "support/SnapshotTestSupport.h"
#include "tapi/TapiAbi.h"

using snaptest::AppendText;
using snaptest::OneLevelDeeper;
using snaptest::ReadGoldenText;
using snaptest::SetSizes;
using snaptest::SnapshotOf;

namespace {

// --- The structures of the golden texts, laid out as a provider would. ------

CStructImage DevCapsWithTwoTerminals() {
    auto img = CStructImage::Of<LINEDEVCAPS>();
    LINEDEVCAPS* p = img.As<LINEDEVCAPS>();
    p->dwPermanentLineID = 0x00013010;
    p->dwStringFormat = 1;
    p->dwAddressModes = 1;
    p->dwNumAddresses = 1;
    p->dwBearerModes = 0x103;  // 0x100 has no name
    p->dwMaxRate = 64000;
    p->dwMediaModes = 0x7;  // 0x1 has no name
    p->dwGenerateToneModes = 0x0E;
    p->dwGenerateToneMaxNumFreq = 3;
    p->dwGenerateDigitModes = 0x6;  // DTMFEND is not named here
    p->dwMonitorToneMaxNumFreq = 2;
    p->dwMonitorToneMaxNumEntries = 4;
    p->dwMonitorDigitModes = 0x6;
    p->dwGatherDigitsMinTimeout = 100;
    p->dwGatherDigitsMaxTimeout = 60000;
    p->dwMedCtlDigitMaxListSize = 0x10;
    p->dwMedCtlMediaMaxListSize = 0x11;
    p->dwMedCtlToneMaxListSize = 0x12;
    p->dwMedCtlCallStateMaxListSize = 0x13;
    p->dwDevCapFlags = 0x1A0;
    p->dwMaxNumActiveCalls = 2;
    p->dwAnswerMode = 0x4;
    p->dwRingModes = 3;
    p->dwLineStates = 0x030400C2;  // 0x02000000 has no name
    p->dwUUIAcceptSize = 0x21;
    p->dwUUIAnswerSize = 0x22;
    p->dwUUIMakeCallSize = 0x23;
    p->dwUUIDropSize = 0x24;
    p->dwUUISendUserUserInfoSize = 0x25;
    p->dwUUICallInfoSize = 0x26;
    p->MinDialParams = {100, 50, 60, 500};
    p->MaxDialParams = {3000, 250, 200, 10000};
    p->DefaultDialParams = {1000, 100, 80, 3000};
    p->dwNumTerminals = 2;
    p->dwTerminalTextEntrySize = 8;
    p->dwLineFeatures = 0x218;  // 0x200 has no name
    p->dwSettableDevStatus = 0x6;

    img.AddText(offsetof(LINEDEVCAPS, dwProviderInfoSize), "Talvora ZR-40");
    img.AddText(offsetof(LINEDEVCAPS, dwSwitchInfoSize), "ZR-40 R2.1");
    img.AddText(offsetof(LINEDEVCAPS, dwLineNameSize), "Ext 3010");
    const LINETERMCAPS caps[2] = {{1, 0x3, 1}, {2, 0x30, 2}};
    img.AddBytes(offsetof(LINEDEVCAPS, dwTerminalCapsSize), caps, sizeof caps);
    // The second entry fills its eight bytes: no NUL ends it.
    img.AddBytes(offsetof(LINEDEVCAPS, dwTerminalTextSize), "Handset\0Headsets", 16);
    BYTE devSpecific[20];
    for (int i = 0; i < 20; ++i) devSpecific[i] = static_cast<BYTE>(0x10 + i);
    img.AddBytes(offsetof(LINEDEVCAPS, dwDevSpecificSize), devSpecific, sizeof devSpecific);
    img.AddText(offsetof(LINEDEVCAPS, dwDeviceClassesSize), std::string("tapi/line\0wave/in\0wave/out\0", 27));
    SetSizes(img);
    return img;
}

CStructImage DevCapsWithoutTerminals() {
    auto img = CStructImage::Of<LINEDEVCAPS>();
    LINEDEVCAPS* p = img.As<LINEDEVCAPS>();
    p->dwPermanentLineID = 7;
    p->dwStringFormat = 5;  // unnamed
    p->dwAddressModes = 3;  // two bits: unnamed
    p->dwNumAddresses = 2;
    p->dwMediaModes = 0x1;
    p->dwGenerateDigitModes = 0x4;
    p->dwMaxNumActiveCalls = 1;
    p->dwAnswerMode = 0x1;
    p->dwSettableDevStatus = 0x8;
    img.AddText(offsetof(LINEDEVCAPS, dwProviderInfoSize), "ISDN test provider");
    img.AddText(offsetof(LINEDEVCAPS, dwDeviceClassesSize), std::string("tapi/line\0", 10));
    SetSizes(img);
    return img;
}

CStructImage DevStatusWithAppInfo() {
    auto img = CStructImage::Of<LINEDEVSTATUS>();
    LINEDEVSTATUS* p = img.As<LINEDEVSTATUS>();
    p->dwNumOpens = 2;
    p->dwOpenMediaModes = 0x4;
    p->dwNumActiveCalls = 1;
    p->dwLineFeatures = 0x8;
    p->dwRingMode = 1;
    p->dwSignalLevel = 0xFFFF;
    p->dwBatteryLevel = 0xFFFF;
    p->dwRoamMode = 0x4;
    p->dwDevStatusFlags = 0x5;
    p->dwAvailableMediaModes = 0x14;  // this report names none

    const DWORD modes[3] = {0x2, 0x3, 0x80};
    img.AddBytes(offsetof(LINEDEVSTATUS, dwTerminalModesSize), modes, sizeof modes);
    const BYTE devSpecific[5] = {1, 2, 3, 4, 5};
    img.AddBytes(offsetof(LINEDEVSTATUS, dwDevSpecificSize), devSpecific, sizeof devSpecific);

    // The texts of the entries, counted from the start of LINEDEVSTATUS.
    LINEAPPINFO info[2] = {};
    info[0].dwMachineNameSize = 9;
    info[0].dwMachineNameOffset = AppendText(img, "PBXSRV01");
    info[0].dwUserNameSize = 5;
    info[0].dwUserNameOffset = AppendText(img, "tech");
    info[0].dwModuleFilenameSize = 15;
    info[0].dwModuleFilenameOffset = AppendText(img, "linoscope3.exe");
    info[0].dwFriendlyNameSize = 11;
    info[0].dwFriendlyNameOffset = AppendText(img, "Linoscope3");
    info[0].dwMediaModes = 0x4;
    info[0].dwAddressID = 0;
    info[1].dwMachineNameSize = 8;
    info[1].dwMachineNameOffset = AppendText(img, "DESK-07");
    info[1].dwUserNameSize = 9;
    info[1].dwUserNameOffset = AppendText(img, "operator");
    info[1].dwModuleFilenameSize = 12;
    info[1].dwModuleFilenameOffset = AppendText(img, "console.exe");
    info[1].dwMediaModes = 0x14;
    info[1].dwAddressID = 1;
    img.AddBytes(offsetof(LINEDEVSTATUS, dwAppInfoSize), info, sizeof info);
    SetSizes(img);
    return img;
}

CStructImage AddressCapsWithMessagesAndTreatments() {
    auto img = CStructImage::Of<LINEADDRESSCAPS>();
    LINEADDRESSCAPS* p = img.As<LINEADDRESSCAPS>();
    p->dwLineDeviceID = 3;
    p->dwAddressSharing = 0x11;
    p->dwAddressStates = 0x1E0;
    p->dwCallInfoStates = 0x8003C100;  // 0x80000000 has no name
    p->dwCallerIDFlags = 0x0C;
    p->dwCalledIDFlags = 0x08;
    p->dwConnectedIDFlags = 0x48;
    p->dwRedirectionIDFlags = 0x20;
    p->dwCallStates = 0xC103;
    p->dwDialToneModes = 0x05;
    p->dwBusyModes = 0x03;
    p->dwSpecialInfo = 0x04;
    p->dwDisconnectModes = 0x1021;  // NODIALTONE is named in capabilities
    p->dwMaxNumActiveCalls = 1;
    p->dwMaxNumOnHoldCalls = 2;
    p->dwMaxNumOnHoldPendingCalls = 3;
    p->dwMaxNumConference = 4;
    p->dwMaxNumTransConf = 5;
    p->dwAddrCapFlags = 0x20021021;
    p->dwCallFeatures = 0x800000C4;
    p->dwRemoveFromConfCaps = 3;
    p->dwRemoveFromConfState = 0x100;
    p->dwTransferModes = 0x1;
    p->dwParkModes = 0x3;
    p->dwForwardModes = 0x30011;
    p->dwMaxForwardEntries = 6;
    p->dwMaxSpecificEntries = 7;
    p->dwMinFwdNumRings = 1;
    p->dwMaxFwdNumRings = 9;
    p->dwMaxCallCompletions = 10;
    p->dwCallCompletionConds = 0x3;
    p->dwCallCompletionModes = 0x9;
    p->dwNumCompletionMessages = 2;
    p->dwCompletionMsgTextEntrySize = 10;
    p->dwAddressFeatures = 0x2003;
    p->dwPredictiveAutoTransferStates = 0x102;
    p->dwNumCallTreatments = 2;
    p->dwMaxCallDataSize = 0x100;
    p->dwCallFeatures2 = 0x201;
    p->dwMaxNoAnswerTimeout = 30;
    p->dwConnectedModes = 0x5;
    p->dwOfferingModes = 0x2;
    p->dwAvailableMediaModes = 0x14;

    img.AddText(offsetof(LINEADDRESSCAPS, dwAddressSize), "3010");
    BYTE devSpecific[16];
    for (int i = 0; i < 16; ++i) devSpecific[i] = static_cast<BYTE>(i);
    img.AddBytes(offsetof(LINEADDRESSCAPS, dwDevSpecificSize), devSpecific, sizeof devSpecific);
    img.AddBytes(offsetof(LINEADDRESSCAPS, dwCompletionMsgTextSize), "Busy\0\0\0\0\0\0Later\0\0\0\0\0", 20);
    LINECALLTREATMENTENTRY treatments[2] = {};
    treatments[0].dwCallTreatmentID = 2;
    treatments[0].dwCallTreatmentNameSize = 6;
    treatments[0].dwCallTreatmentNameOffset = AppendText(img, "Music");
    treatments[1].dwCallTreatmentID = 3;
    treatments[1].dwCallTreatmentNameSize = 8;
    treatments[1].dwCallTreatmentNameOffset = AppendText(img, "Silence");
    img.AddBytes(offsetof(LINEADDRESSCAPS, dwCallTreatmentListSize), treatments, sizeof treatments);
    img.AddText(offsetof(LINEADDRESSCAPS, dwDeviceClassesSize), std::string("tapi/line\0tapi/phone\0", 21));
    SetSizes(img);
    return img;
}

CStructImage AddressStatusWithForwards() {
    auto img = CStructImage::Of<LINEADDRESSSTATUS>();
    LINEADDRESSSTATUS* p = img.As<LINEADDRESSSTATUS>();
    p->dwNumInUse = 1;
    p->dwNumActiveCalls = 2;
    p->dwNumOnHoldCalls = 3;
    p->dwNumOnHoldPendCalls = 4;
    p->dwAddressFeatures = 0x3;
    p->dwNumRingsNoAnswer = 5;
    p->dwForwardNumEntries = 2;

    LINEFORWARD forwards[2] = {};
    forwards[0].dwForwardMode = 0x1;
    forwards[0].dwDestCountryCode = 0x31;
    forwards[0].dwDestAddressSize = 5;
    forwards[0].dwDestAddressOffset = AppendText(img, "3020");
    forwards[1].dwForwardMode = 0x40;
    forwards[1].dwCallerAddressSize = 11;
    forwards[1].dwCallerAddressOffset = AppendText(img, "0201234567");
    forwards[1].dwDestCountryCode = 0x2C;
    forwards[1].dwDestAddressSize = 12;
    forwards[1].dwDestAddressOffset = AppendText(img, "08005550100");
    img.AddBytes(offsetof(LINEADDRESSSTATUS, dwForwardSize), forwards, sizeof forwards);
    const DWORD modes[2] = {0x2, 0x10};
    img.AddBytes(offsetof(LINEADDRESSSTATUS, dwTerminalModesSize), modes, sizeof modes);
    const BYTE devSpecific[8] = {5, 0, 0, 0, 0x60, 0, 0, 0};
    img.AddBytes(offsetof(LINEADDRESSSTATUS, dwDevSpecificSize), devSpecific, sizeof devSpecific);
    SetSizes(img);
    return img;
}

CStructImage AddressStatusWithoutForwards() {
    auto img = CStructImage::Of<LINEADDRESSSTATUS>();
    // A count without a list: TAPI's rule is that the size decides.
    img.As<LINEADDRESSSTATUS>()->dwForwardNumEntries = 3;
    SetSizes(img);
    return img;
}

// --- The cases: an input, its class and its golden text. --------------------

struct ReportCase {
    const char* pszGolden;
    std::function<CStructImage()> make;
    std::function<std::string(const BYTE*, int)> report;  // builds the snapshot, reports at a level
};

template <typename T>
std::string ReportOf(const BYTE* pStruct, int nLevel) {
    T snapshot(pStruct);
    return snapshot.Report(nLevel);
}

const std::vector<ReportCase>& Cases() {
    static const std::vector<ReportCase> cases = {
        {"linedevcaps_two_terminals.txt", DevCapsWithTwoTerminals, ReportOf<CLineDevCaps>},
        {"linedevcaps_no_terminals.txt", DevCapsWithoutTerminals, ReportOf<CLineDevCaps>},
        {"linedevstatus_appinfo.txt", DevStatusWithAppInfo, ReportOf<CLineDevStatus>},
        {"lineaddresscaps_completion_treatments.txt", AddressCapsWithMessagesAndTreatments, ReportOf<CLineAddressCaps>},
        {"lineaddressstatus_forwards.txt", AddressStatusWithForwards, ReportOf<CLineAddressStatus>},
        {"lineaddressstatus_no_forwards.txt", AddressStatusWithoutForwards, ReportOf<CLineAddressStatus>},
    };
    return cases;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

// A golden text with some of its pieces replaced (each must be there).
std::string GoldenWith(const std::string& strName, std::initializer_list<std::pair<std::string, std::string>> edits) {
    std::string text = ReadGoldenText(strName);
    for (const auto& [from, to] : edits) {
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos) text.replace(at, from.size(), to);
    }
    return text;
}

// The labels of the lines every report of the class has whatever the
// structure holds: the golden's top-level lines up to " = ", without the list
// entries (which depend on the data).
std::vector<std::string> FixedLabels(const std::string& golden) {
    std::vector<std::string> labels;
    for (const std::string& line : SplitLines(golden)) {
        if (line.rfind("<< ", 0) == 0) labels.push_back(line + "\r\n");
        if (line.size() < 5 || line.compare(0, 4, "    ") != 0 || line[4] == ' ') continue;
        const std::size_t eq = line.find(" = ");
        if (eq == std::string::npos || line.find('[') < eq) continue;
        labels.push_back(line.substr(0, eq + 3));
    }
    return labels;
}

// Empty when every label occurs in order, else the first one missing.
std::string MissingLabel(const std::string& report, const std::vector<std::string>& labels) {
    std::size_t at = 0;
    for (const std::string& label : labels) {
        at = report.find(label, at);
        if (at == std::string::npos) return label;
        at += label.size();
    }
    return {};
}

TEST(LineReports, MatchTheGoldenTextsByteForByteAtEveryLevel) {
    for (const ReportCase& c : Cases()) {
        SCOPED_TRACE(c.pszGolden);
        const CStructImage img = c.make();
        const std::string golden = ReadGoldenText(c.pszGolden);
        EXPECT_EQ(c.report(img.Bytes().data(), 0), golden);
        EXPECT_EQ(c.report(img.Bytes().data(), 1), OneLevelDeeper(golden));
        EXPECT_EQ(c.report(img.Bytes().data(), 2), OneLevelDeeper(OneLevelDeeper(golden)));
    }
}

// --- Broken structures --------------------------------------------------------

void ExpectWellFormed(const ReportCase& c, const std::string& report) {
    const std::string missing = MissingLabel(report, FixedLabels(ReadGoldenText(c.pszGolden)));
    EXPECT_EQ(missing, "") << "line missing from\n" << report;
    ASSERT_GE(report.size(), 2u);
    EXPECT_EQ(report.substr(report.size() - 2), "\r\n");
}

TEST(LineReports, StructureCutToItsHeaderReportsZerosAndEmptyParts) {
    for (const ReportCase& c : Cases()) {
        SCOPED_TRACE(c.pszGolden);
        CStructImage img = c.make();
        img.SetDword(8, 12);  // dwUsedSize: the header only
        CStructImage zeros(img.Bytes().size());
        SetSizes(zeros);
        EXPECT_EQ(c.report(img.Bytes().data(), 0), c.report(zeros.Bytes().data(), 0));
        ExpectWellFormed(c, c.report(img.Bytes().data(), 0));
    }
    // Nothing but zeros in an address status is exactly the golden without forwards.
    CStructImage img = AddressStatusWithForwards();
    img.SetDword(offsetof(LINEADDRESSSTATUS, dwUsedSize), 12);
    EXPECT_EQ(CLineAddressStatus(img.Bytes().data()).Report(0), ReadGoldenText("lineaddressstatus_no_forwards.txt"));
}

TEST(LineReports, BlocksOutsideTheStructureDumpNothingButKeepTheirSize) {
    const std::pair<std::size_t, std::size_t> classes[] = {// one input per class, its block's size field
                                                           {0, offsetof(LINEDEVCAPS, dwDevSpecificSize)},
                                                           {2, offsetof(LINEDEVSTATUS, dwDevSpecificSize)},
                                                           {3, offsetof(LINEADDRESSCAPS, dwDevSpecificSize)},
                                                           {4, offsetof(LINEADDRESSSTATUS, dwDevSpecificSize)}};
    for (const auto& [nCase, sizeField] : classes) {
        const ReportCase& c = Cases()[nCase];
        SCOPED_TRACE(c.pszGolden);
        CStructImage img = c.make();
        img.SetDword(sizeField, 0xFFFFFFF0);  // far longer than the structure
        std::string report = c.report(img.Bytes().data(), 0);
        EXPECT_NE(report.find("    dwDevSpecificSize = 0xFFFFFFF0 \r\n        \r\n"), std::string::npos) << report;
        ExpectWellFormed(c, report);

        img.SetDword(sizeField, 0x20);
        img.SetDword(sizeField + 4, 0xFFFFFFF0);  // offset + size wraps around 32 bits
        report = c.report(img.Bytes().data(), 0);
        EXPECT_NE(report.find("    dwDevSpecificSize = 0x00000020 \r\n        \r\n"), std::string::npos) << report;
        ExpectWellFormed(c, report);
    }
}

TEST(LineReports, HugeCountsGiveOnlyTheEntriesThatFit) {
    const struct {
        std::size_t nCase;
        std::vector<std::size_t> countFields;
        std::vector<const char*> present;  // the last entries there are
    } cases[] = {
        {0, {offsetof(LINEDEVCAPS, dwNumTerminals)}, {"    TerminalCaps[1] = "}},
        {2, {offsetof(LINEDEVSTATUS, dwNumOpens)}, {"    AppInfo[1] =     LINEAPPINFO\r\n"}},
        {3,
         {offsetof(LINEADDRESSCAPS, dwNumCompletionMessages), offsetof(LINEADDRESSCAPS, dwNumCallTreatments)},
         {"    CompletionMsgText[1] = Later\r\n", "    CallTreatmentList[1] = "}},
        {4, {offsetof(LINEADDRESSSTATUS, dwForwardNumEntries)}, {"    Forward[1] = "}},
    };
    for (const auto& k : cases) {
        const ReportCase& c = Cases()[k.nCase];
        SCOPED_TRACE(c.pszGolden);
        CStructImage img = c.make();
        for (std::size_t field : k.countFields) img.SetDword(field, 0xFFFFFFFF);
        const std::string report = c.report(img.Bytes().data(), 0);
        for (const char* psz : k.present) EXPECT_NE(report.find(psz), std::string::npos) << psz;
        // These records end their structures: no record after the last.
        for (const char* psz : {"AppInfo[2]", "Forward[2]"}) EXPECT_EQ(report.find(psz), std::string::npos) << psz;
        ExpectWellFormed(c, report);
    }
}

// A 16 MiB structure whose lists all claim 0xFFFFFFFF entries of one byte (or
// of their record size) over the whole structure: the snapshot keeps a few
// thousand entries per list, the report says in one line how many more the
// list held, and both take a small fraction of a second.
TEST(LineReports, HostileCountsOverA16MiBStructureStayCheap) {
    constexpr DWORD kSize = 16u << 20;
    constexpr std::size_t kKept = CTapiSnapshot::kMaxListEntries;
#if defined(__SANITIZE_ADDRESS__)
    constexpr double kSecondsAllowed = 3.0;  // the checked build is about ten times slower
#else
    constexpr double kSecondsAllowed = 1.0;
#endif
    struct List {
        const char* pszLabel;
        std::size_t countField;      // 0: the count is the size / 4 (terminal modes)
        std::size_t sizeField;       // the Offset field follows it
        std::size_t entrySizeField;  // 0: records of cbEntry bytes
        DWORD cbEntry;
    };
    const struct {
        std::size_t nCase;
        std::size_t cbFixed;
        std::vector<List> lists;
    } cases[] = {
        {0,
         sizeof(LINEDEVCAPS),
         {{"TerminalCaps", offsetof(LINEDEVCAPS, dwNumTerminals), offsetof(LINEDEVCAPS, dwTerminalCapsSize), 0, 12},
          {"TerminalTexts", offsetof(LINEDEVCAPS, dwNumTerminals), offsetof(LINEDEVCAPS, dwTerminalTextSize),
           offsetof(LINEDEVCAPS, dwTerminalTextEntrySize), 1}}},
        {2,
         sizeof(LINEDEVSTATUS),
         {{"TerminalMode", 0, offsetof(LINEDEVSTATUS, dwTerminalModesSize), 0, 4},
          {"AppInfo", offsetof(LINEDEVSTATUS, dwNumOpens), offsetof(LINEDEVSTATUS, dwAppInfoSize), 0, 40}}},
        {3,
         sizeof(LINEADDRESSCAPS),
         {{"CompletionMsgText", offsetof(LINEADDRESSCAPS, dwNumCompletionMessages),
           offsetof(LINEADDRESSCAPS, dwCompletionMsgTextSize), offsetof(LINEADDRESSCAPS, dwCompletionMsgTextEntrySize),
           1},
          {"CallTreatmentList", offsetof(LINEADDRESSCAPS, dwNumCallTreatments),
           offsetof(LINEADDRESSCAPS, dwCallTreatmentListSize), 0, 12}}},
        {4,
         sizeof(LINEADDRESSSTATUS),
         {{"Forward", offsetof(LINEADDRESSSTATUS, dwForwardNumEntries), offsetof(LINEADDRESSSTATUS, dwForwardSize), 0,
           24},
          {"TerminalMode", 0, offsetof(LINEADDRESSSTATUS, dwTerminalModesSize), 0, 4}}},
    };
    for (const auto& k : cases) {
        const ReportCase& c = Cases()[k.nCase];
        SCOPED_TRACE(c.pszGolden);
        // Bytes of 0x01: texts without an end, offsets far outside.
        std::vector<BYTE> bytes(kSize, 1);
        std::memset(bytes.data(), 0, k.cbFixed);
        auto put = [&](std::size_t at, DWORD dw) { std::memcpy(bytes.data() + at, &dw, 4); };
        put(0, kSize);
        put(4, kSize);
        put(8, kSize);
        std::vector<std::string> leftOutLines;
        for (const List& list : k.lists) {
            if (list.countField != 0) put(list.countField, 0xFFFFFFFF);
            if (list.entrySizeField != 0) put(list.entrySizeField, list.cbEntry);
            put(list.sizeField, kSize - static_cast<DWORD>(k.cbFixed));
            put(list.sizeField + 4, static_cast<DWORD>(k.cbFixed));
            const std::size_t nHeld = (kSize - k.cbFixed) / list.cbEntry;
            leftOutLines.push_back(std::string("    ") + list.pszLabel + "[" + std::to_string(kKept - 1) + "] = ");
            leftOutLines.push_back(std::string("    ") + list.pszLabel + "[" + std::to_string(kKept) + ".." +
                                   std::to_string(nHeld - 1) + "] = " + std::to_string(nHeld - kKept) +
                                   " more entries not shown\r\n");
        }
        snaptest::CExactBuffer buf(bytes);
        bytes = {};
        const auto start = std::chrono::steady_clock::now();
        const std::string report = c.report(buf.Data(), 0);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_LT(seconds, kSecondsAllowed);
        EXPECT_LT(report.size(), 1024u * 1024u);
        // Every list shows its last kept entry, then says how many more it held.
        for (const std::string& line : leftOutLines) EXPECT_NE(report.find(line), std::string::npos) << line;
        ExpectWellFormed(c, report);
    }
}

// Records whose texts all name the same long text: the snapshot stops keeping
// records once their texts reach about a megabyte.
TEST(LineReports, RecordsSharingALongTextStopAtTheTextBudget) {
    using S = LINEADDRESSSTATUS;
    auto img = CStructImage::Of<S>();
    constexpr DWORD kForwards = 100;
    const DWORD dwList = static_cast<DWORD>(img.Bytes().size());
    std::vector<LINEFORWARD> forwards(kForwards);
    img.Append(forwards.data(), kForwards * sizeof(LINEFORWARD));
    const DWORD dwText = static_cast<DWORD>(img.Append(std::string(600 * 1024, 'D').c_str(), 600 * 1024 + 1));
    for (DWORD i = 0; i < kForwards; ++i) {
        const std::size_t at = dwList + i * sizeof(LINEFORWARD);
        img.SetDword(at + offsetof(LINEFORWARD, dwDestAddressSize), 600 * 1024 + 1);
        img.SetDword(at + offsetof(LINEFORWARD, dwDestAddressOffset), dwText);
    }
    img.SetDword(offsetof(S, dwForwardNumEntries), kForwards);
    img.SetDword(offsetof(S, dwForwardSize), kForwards * sizeof(LINEFORWARD));
    img.SetDword(offsetof(S, dwForwardOffset), dwList);
    auto status = SnapshotOf<CLineAddressStatus>(img);
    ASSERT_EQ(status.m_forwards.size(), 2u);
    EXPECT_EQ(status.m_forwards[1]->m_strDestAddress.size(), 600u * 1024u);
    EXPECT_EQ(status.m_nForwardsLeftOut, kForwards - 2);
    const std::string report = status.Report(0);
    EXPECT_LT(report.size(), 2u * 1024u * 1024u);
    EXPECT_NE(report.find("\" \r\n    Forward[2..99] = 98 more entries not shown\r\n\r\n    dwDevSpecificSize"),
              std::string::npos);
}

TEST(LineReports, ZeroEntrySizesAndStrayTextOffsetsLeaveTheRestIntact) {
    {
        // Without an entry size there are no terminal texts; the caps stay.
        CStructImage img = DevCapsWithTwoTerminals();
        img.SetDword(offsetof(LINEDEVCAPS, dwTerminalTextEntrySize), 0);
        EXPECT_EQ(CLineDevCaps(img.Bytes().data()).Report(0),
                  GoldenWith("linedevcaps_two_terminals.txt",
                             {{"    TerminalTexts[0] = Handset\r\n    TerminalTexts[1] = Headsets\r\n", ""}}));
    }
    {
        // An entry's text that points outside the structure prints as "".
        CStructImage img = DevStatusWithAppInfo();
        const DWORD dwInfo = img.GetDword(offsetof(LINEDEVSTATUS, dwAppInfoOffset));
        img.SetDword(dwInfo + offsetof(LINEAPPINFO, dwUserNameOffset), 0xFFFFFFFE);
        EXPECT_EQ(CLineDevStatus(img.Bytes().data()).Report(0),
                  GoldenWith("linedevstatus_appinfo.txt", {{"UserName = \"tech\" ", "UserName = \"\" "}}));
    }
}

// Random damage to any DWORD of the structures, fixed seed: every report is
// made with all of its fixed lines, and the sanitizer builds see no stray read.
TEST(LineReports, RandomlyDamagedStructuresStillGiveWholeReports) {
    std::mt19937 random(20240305u);
    const DWORD interesting[] = {0, 1, 4, 12, 0x7F, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFF0, 0xFFFFFFFF};
    int nReports = 0;
    for (const ReportCase& c : Cases()) {
        SCOPED_TRACE(c.pszGolden);
        const std::vector<BYTE> original = c.make().Bytes();
        const std::vector<std::string> labels = FixedLabels(ReadGoldenText(c.pszGolden));
        const std::size_t nDwords = original.size() / 4;
        for (int round = 0; round < 1000; ++round) {
            std::vector<BYTE> bytes = original;
            for (int hit = 0, nHits = 1 + static_cast<int>(random() % 4); hit < nHits; ++hit) {
                // dwTotalSize stays: it is the size of the buffer TAPI was given.
                const std::size_t at = 4 * (1 + random() % (nDwords - 1));
                const DWORD kind = random() % 3;
                const DWORD value = kind == 0   ? interesting[random() % std::size(interesting)]
                                    : kind == 1 ? static_cast<DWORD>(random() % (original.size() + 64))
                                                : static_cast<DWORD>(random());
                std::memcpy(bytes.data() + at, &value, 4);
            }
            const std::string report = c.report(bytes.data(), 0);
            ++nReports;
            ASSERT_EQ(MissingLabel(report, labels), "") << "round " << round << ", report:\n" << report;
            ASSERT_EQ(report.substr(report.size() - 2), "\r\n");
        }
    }
    EXPECT_EQ(nReports, 6000);
}

}  // namespace
