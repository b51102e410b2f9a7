// The reports against hand-written golden texts, and fed with broken and
// hostile structures: whatever the provider wrote, every report is made with
// all of its fixed lines, and nothing outside the structure is read.
#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "reports/Snapshots.h"
#include "support/SnapshotTestSupport.h"
#include "support/TestFiles.h"
#include "tapi/TapiAbi.h"

using namespace snaptest;

namespace {

// A structure of golden/structures read as a snapshot of its kind, its golden
// text of the same name, and what the program reads from it besides.
struct Case {
    const char* pszStruct;
    const char* pszName;
    const char* pszLevel1Golden = nullptr;

    std::string Golden() const { return ReadGoldenText(std::string(pszName) + ".txt"); }
    CStructImage Make() const { return StructureOf(pszName); }
    std::size_t Field(const std::string& strName) const { return Abi().fields.at(pszStruct).at(strName).at; }
    // The report of an exact copy of the bytes (none: no structure at all) at
    // the level, a NUL and what the program reads from it besides.
    std::string Read(const std::vector<BYTE>& bytes, int nLevel) const {
        CExactBuffer buf(bytes);
        return ReadFrom(pszStruct, bytes.empty() ? nullptr : buf.Data(), nLevel);
    }
    std::string Report(const std::vector<BYTE>& bytes, int nLevel = 0) const {
        const std::string read = Read(bytes, nLevel);
        return read.substr(0, read.find('\0'));
    }
};

// The hostile tests below pick the first four by their place.
const Case kCases[] = {
    {"LINEDEVCAPS", "linedevcaps_two_terminals"},
    {"LINEDEVSTATUS", "linedevstatus_appinfo"},
    {"LINEADDRESSCAPS", "lineaddresscaps_completion_treatments"},
    {"LINEADDRESSSTATUS", "lineaddressstatus_forwards"},
    {"LINEDEVCAPS", "linedevcaps_no_terminals"},
    {"LINEADDRESSSTATUS", "lineaddressstatus_no_forwards"},
    {"LINECALLSTATUS", "callstatus_level0", "callstatus_level1.txt"},
    {"LINECALLINFO", "callinfo_level0"},
    {"LINEDEVCAPS", "linedevcaps_huge_terminal_count"},
    {"LINEDEVCAPS", "linedevcaps_no_text_entry_size"},
    {"LINEDEVSTATUS", "linedevstatus_huge_open_count"},
    {"LINEDEVSTATUS", "linedevstatus_stray_text_offset"},
    {"LINEADDRESSCAPS", "lineaddresscaps_huge_counts"},
    {"LINEADDRESSSTATUS", "lineaddressstatus_huge_forward_count"},
};

// A report one level deeper: every line that holds anything gains four
// blanks, and so does the indent of a sub-report that starts on its label's
// line; the empty separator lines stay empty.
std::string OneLevelDeeper(const std::string& text) {
    std::string deeper;
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = text.substr(start, end - start);
        const std::size_t eq = line.find(" = ");
        const std::size_t header = eq == std::string::npos ? eq : line.find_first_not_of(' ', eq + 3);
        if (header != std::string::npos && header > eq + 3 && line.compare(header, 4, "LINE") == 0) {
            line.insert(eq + 3, "    ");
        }
        deeper += (line.empty() ? "" : "    ") + line + "\r\n";
    }
    return deeper;
}

// The lines every report of the class has whatever the structure holds: its
// header and the golden's top-level labels up to " = ", without the list
// entries (which depend on the data). Empty when each is found in order, else
// the first one missing.
std::string MissingLabel(const std::string& report, const Case& c) {
    std::size_t at = 0;
    const std::string golden = c.Golden();
    for (std::size_t start = 0, end; (end = golden.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string label = golden.substr(start, end - start + 2);
        const std::size_t eq = label.find(" = ");
        if (label.rfind("<< ", 0) != 0) {
            if (label.compare(0, 4, "    ") != 0 || label[4] == ' ' || eq == std::string::npos || label.find('[') < eq)
                continue;
            label.resize(eq + 3);
        }
        at = report.find(label, at);
        if (at == std::string::npos) return label;
        at += label.size();
    }
    return report.size() >= 2 && report.substr(report.size() - 2) == "\r\n" ? "" : "(no CR LF at the end)";
}

// Cut to its header (dwUsedSize 12), and with no structure at all, each
// reports as one of zeros: every fixed field 0 and every part empty.
TEST(Reports, MatchTheGoldenTextsByteForByteAtEveryLevelAndCutToTheHeaderAsZeros) {
    CRangeValues values;  // the default ranges
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszName);
        std::vector<BYTE> bytes = WithSizes(c.Make());
        const std::string golden = c.Golden();
        EXPECT_EQ(c.Report(bytes, 0), golden);
        EXPECT_EQ(c.Report(bytes, 1), c.pszLevel1Golden ? ReadGoldenText(c.pszLevel1Golden) : OneLevelDeeper(golden));
        EXPECT_EQ(c.Report(bytes, 2), OneLevelDeeper(OneLevelDeeper(golden)));
        const std::vector<BYTE> zeros = WithSizes(CStructImage(bytes.size()));
        std::memcpy(bytes.data() + 8, "\x0C\0\0", 4);
        EXPECT_EQ(c.Report(bytes), c.Report(zeros));
        EXPECT_EQ(c.Read({}, 0), c.Read(zeros, 0)) << "no structure at all";
    }
    EXPECT_EQ(CLineForward(nullptr).m_strDestAddress + CLineCallInfo(nullptr).GetLogFields(), ",,,,,,,");
    EXPECT_EQ(CLineDialParams(nullptr).m_dwDialPause, 0u);
    // Nothing but zeros in an address status is exactly the golden without forwards.
    EXPECT_EQ(kCases[3].Report(WithSizes(CStructImage::Of<LINEADDRESSSTATUS>())),
              ReadGoldenText("lineaddressstatus_no_forwards.txt"));
}

// --- Broken structures --------------------------------------------------------

TEST(Reports, BlocksOutsideTheStructureDumpNothingButKeepTheirSize) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszName);
        CStructImage img = c.Make();
        const std::size_t devSpecificSize = c.Field("dwDevSpecificSize");
        img.SetDword(devSpecificSize, 0xFFFFFFF0);  // far longer than the structure
        std::string report = c.Report(WithSizes(img));
        EXPECT_NE(report.find("    dwDevSpecificSize = 0xFFFFFFF0 \r\n        \r\n"), std::string::npos) << report;
        EXPECT_EQ(MissingLabel(report, c), "");

        img.SetDword(devSpecificSize, 0x20);
        img.SetDword(devSpecificSize + 4, 0xFFFFFFF0);  // offset + size wraps around 32 bits
        report = c.Report(WithSizes(img));
        EXPECT_NE(report.find("    dwDevSpecificSize = 0x00000020 \r\n        \r\n"), std::string::npos) << report;
        EXPECT_EQ(MissingLabel(report, c), "");
    }
}

// A 16 MiB structure whose lists all claim 0xFFFFFFFF entries of one byte (or
// of their record size) over the whole structure: the snapshot keeps a few
// thousand entries per list, the report says in one line how many more the
// list held, and both take a small fraction of a second.
TEST(Reports, HostileCountsOverA16MiBStructureStayCheap) {
    constexpr DWORD kSize = 16u << 20;
    constexpr std::size_t kKept = CTapiSnapshot::kMaxListEntries;
#if defined(__SANITIZE_ADDRESS__)
    constexpr double kSecondsAllowed = 3.0;  // the checked build is about ten times slower
#else
    constexpr double kSecondsAllowed = 1.0;
#endif
    struct List {
        const char *pszLabel, *pszCount, *pszPart, *pszEntrySize;  // "": the size gives the count, no entry size
        DWORD cbEntry;
    };
    const std::vector<List> cases[] = {
        {{"TerminalCaps", "dwNumTerminals", "TerminalCaps", "", 12},
         {"TerminalTexts", "dwNumTerminals", "TerminalText", "dwTerminalTextEntrySize", 1}},
        {{"TerminalMode", "", "TerminalModes", "", 4}, {"AppInfo", "dwNumOpens", "AppInfo", "", 40}},
        {{"CompletionMsgText", "dwNumCompletionMessages", "CompletionMsgText", "dwCompletionMsgTextEntrySize", 1},
         {"CallTreatmentList", "dwNumCallTreatments", "CallTreatmentList", "", 12}},
        {{"Forward", "dwForwardNumEntries", "Forward", "", 24}, {"TerminalMode", "", "TerminalModes", "", 4}},
    };
    for (std::size_t nCase = 0; nCase < std::size(cases); ++nCase) {
        const Case& c = kCases[nCase];
        SCOPED_TRACE(c.pszName);
        const std::size_t cbFixed = Abi().sizes.at(c.pszStruct);
        // Bytes of 0x01: texts without an end, offsets far outside.
        std::vector<BYTE> bytes(kSize, 1);
        std::memset(bytes.data(), 0, cbFixed);
        auto put = [&](std::size_t at, DWORD dw) { std::memcpy(bytes.data() + at, &dw, 4); };
        for (std::size_t at : {0, 4, 8}) put(at, kSize);
        std::vector<std::string> leftOutLines;
        for (const List& list : cases[nCase]) {
            if (*list.pszCount) put(c.Field(list.pszCount), 0xFFFFFFFF);
            if (*list.pszEntrySize) put(c.Field(list.pszEntrySize), list.cbEntry);
            put(c.Field(std::string("dw") + list.pszPart + "Size"), kSize - static_cast<DWORD>(cbFixed));
            put(c.Field(std::string("dw") + list.pszPart + "Offset"), static_cast<DWORD>(cbFixed));
            const std::size_t nHeld = (kSize - cbFixed) / list.cbEntry;
            const std::string strLabel = std::string("    ") + list.pszLabel + "[";
            leftOutLines.push_back(strLabel + std::to_string(kKept - 1) + "] = ");
            leftOutLines.push_back(strLabel + std::to_string(kKept) + ".." + std::to_string(nHeld - 1) +
                                   "] = " + std::to_string(nHeld - kKept) + " more entries not shown\r\n");
        }
        const auto start = std::chrono::steady_clock::now();
        const std::string report = c.Report(bytes);
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), kSecondsAllowed);
        EXPECT_LT(report.size(), 1024u * 1024u);
        // Every list shows its last kept entry, then says how many more it held.
        for (const std::string& line : leftOutLines) EXPECT_NE(report.find(line), std::string::npos) << line;
        EXPECT_EQ(MissingLabel(report, c), "");
    }
}

// Records whose texts all name the same long text: the snapshot stops keeping
// records once their texts reach about a megabyte.
TEST(Reports, RecordsSharingALongTextStopAtTheTextBudget) {
    constexpr DWORD kForwards = 100, kText = 600 * 1024;
    // Each names the text right after the list, which is one byte longer.
    const std::string strForward = " 0 0 0 0 " + std::to_string(kText + 1) + " 2464";  // 64 + 100 * 24
    std::string text = "LINEADDRESSSTATUS\ndwForwardNumEntries = 100\nForward =";
    for (DWORD n = 0; n < kForwards; ++n) text.append(strForward);
    CStructImage img = StructureOf(text);
    AppendRaw(img, std::string(kText, 'D') + std::string(1, '\0'));
    auto status = SnapshotOf<CLineAddressStatus>(img);
    ASSERT_EQ(status.m_forwards.size(), 2u);
    EXPECT_EQ(status.m_forwards[1]->m_strDestAddress.size(), kText);
    EXPECT_EQ(status.m_nForwardsLeftOut, kForwards - 2);
    const std::string report = status.Report(0);
    EXPECT_LT(report.size(), 2u * 1024u * 1024u);
    EXPECT_NE(report.find("\" \r\n    Forward[2..99] = 98 more entries not shown\r\n\r\n    dwDevSpecificSize"),
              std::string::npos);
}

// Random damage to the structures, fixed seed: any DWORD, the used size, the
// buffer cut short (dwTotalSize is always the buffer's real size, as TAPI
// guarantees). Every report is made with all of its fixed lines, and neither
// it nor what the program reads besides changes when the bytes beyond the
// readable extent do: nothing there is read (and the sanitizer builds see no
// read past the buffer).
TEST(Reports, RandomlyDamagedStructuresStillGiveWholeReportsAndReadOnlyTheirExtent) {
    std::mt19937 random(20240305u);
    const DWORD interesting[] = {0, 1, 4, 12, 0x7F, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFF0, 0xFFFFFFFF};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszName);
        const std::vector<BYTE> original = WithSizes(c.Make());
        for (int round = 0; round < 1000 && !HasFailure(); ++round) {
            std::vector<BYTE> bytes = original;
            if (random() % 4 == 0) bytes.resize(12 + random() % (bytes.size() - 11));
            const std::size_t nDwords = bytes.size() / 4;
            for (int hit = 0, nHits = 1 + static_cast<int>(random() % 4); hit < nHits; ++hit) {
                const std::size_t at = 4 * (1 + random() % (nDwords - 1));
                const DWORD kind = random() % 3;
                const DWORD value = kind == 0   ? interesting[random() % std::size(interesting)]
                                    : kind == 1 ? static_cast<DWORD>(random() % (original.size() + 64))
                                                : static_cast<DWORD>(random());
                std::memcpy(bytes.data() + at, &value, 4);
            }
            DWORD dwUsed = static_cast<DWORD>(bytes.size());
            if (random() % 4 == 0) dwUsed = static_cast<DWORD>(random() % bytes.size());
            std::memcpy(bytes.data() + 8, &dwUsed, 4);
            const DWORD dwTotal = static_cast<DWORD>(bytes.size());
            std::memcpy(bytes.data(), &dwTotal, 4);

            const int nLevel = round % 3;
            const std::string read = c.Read(bytes, nLevel);
            ASSERT_EQ(MissingLabel(read.substr(0, read.find('\0')), c), "") << "round " << round << ":\n" << read;
            for (std::size_t at = std::max<DWORD>(12, dwUsed); at < bytes.size(); ++at) bytes[at] ^= 0x5A;
            ASSERT_EQ(c.Read(bytes, nLevel), read) << "round " << round;
        }
    }
}

}  // namespace
