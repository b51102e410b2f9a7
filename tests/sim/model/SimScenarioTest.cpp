#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "model/SimScenario.h"

using namespace sim;

namespace {

std::string ErrorOf(const std::string& strText) {
    CSimScenario scenario;
    std::string strError;
    EXPECT_FALSE(ParseScenario(strText, "office.json", &scenario, &strError));
    return strError;
}

const char* const kTwoLines = R"({"devices": [{"kind": "ext", "number": "201"}, {"kind": "co", "number": "801"}],)";

}  // namespace

TEST(SimScenario, DevicesGetTheMakerTextsAndIdsOfTheirGroup) {
    CSimScenario scenario;
    std::string strError;
    ASSERT_TRUE(ParseScenario(R"({
        "name": "t", "seed": 9,
        "devices": [
          {"kind": "ext", "number": "201", "name": "Reception"},
          {"kind": "ext", "number": "202", "provider": "Talvora ZR-40N 1st Party", "refuseVersions": ["0x00020000"]},
          {"kind": "co", "number": "801"},
          {"kind": "co", "number": "802", "trunk": 7, "name": "City"},
          {"kind": "etc", "number": "700", "name": "Voice Mail"},
          {"kind": "etc", "number": "710", "permanentLineId": "0x0600"},
          {"kind": "other", "number": "750", "name": "Fax", "openFails": true, "inService": false}
        ]})",
                              "t.json", &scenario, &strError))
        << strError;
    ASSERT_EQ(scenario.m_lines.size(), 7u);
    EXPECT_EQ(scenario.m_qwSeed, 9u);
    const auto& l = scenario.m_lines;
    EXPECT_EQ(l[0].m_strProvider, "Talvora ZR-40N");
    EXPECT_EQ(l[0].m_dwPermanentLineID, 0x3001u);
    EXPECT_EQ(l[0].m_strLineName, "Ext 201");
    EXPECT_FALSE(l[0].m_strSwitchInfo.empty());
    EXPECT_EQ(l[1].m_strProvider, "Talvora ZR-40N 1st Party");
    EXPECT_EQ(l[1].m_dwPermanentLineID, 0x3002u);
    EXPECT_EQ(l[1].m_strName, "202");  // the number when no name is given
    EXPECT_EQ(l[1].m_refusedVersions, std::vector<DWORD>{0x00020000});
    EXPECT_EQ(l[2].m_dwPermanentLineID, 0x1001u);
    EXPECT_EQ(l[2].m_dwTrunk, 1u);
    EXPECT_EQ(l[3].m_dwTrunk, 7u);
    EXPECT_EQ(l[3].m_strLineName, "Trunk 7");
    EXPECT_EQ(l[4].m_dwPermanentLineID, 0x0501u);
    EXPECT_EQ(l[5].m_dwPermanentLineID, 0x0600u);
    EXPECT_NE(l[6].m_strProvider.rfind("Talvora", 0), 0u);
    EXPECT_EQ(l[6].m_dwPermanentLineID & 0xFFFF, 1u);
    EXPECT_TRUE(l[6].m_bOpenFails);
    EXPECT_FALSE(l[6].m_bInService);
}

TEST(SimScenario, FaultsNameTheFileThePlaceAndWhatIsWrong) {
    const std::string strTwo = kTwoLines;
    const std::string strDevice = R"({"devices": [{"kind": "ext", "number": "201")";
    struct CCase {
        std::string strText;
        std::string strError;
        bool bPrefix = false;  // the fault text goes on with the parser's own words
    };
    const CCase cases[] = {
        {"{\n  \"devices\": [\n    {\"kind\": \"ext\" \"number\": \"201\"}\n  ]\n}",
         "office.json: line 3, column 27: ", true},
        {R"({"devices": [{"kind": "ext", "number": "201"}, {"kind": "exx", "number": "202"}]})",
         "office.json: devices[1].kind: unknown kind \"exx\" (expected ext, co, etc or other)"},
        {R"({"devices": [{"kind": "ext", "number": "201"}, {"kind": "ext", "number": "201"}]})",
         "office.json: devices[1].number: the number \"201\" is used twice"},
        {R"({"devices": [{"kind": "ext", "numbr": "201"}]})", "office.json: devices[0].numbr: unknown key \"numbr\""},
        {R"({"devices": []})", "office.json: devices: expected a list of at least one device"},
        {R"({"name": "x"})", "office.json: top level: missing \"devices\""},
        {R"([1, 2])", "office.json: top level: expected an object"},
        {strDevice + R"(, "permanentLineId": 4294967296}]})",
         "office.json: devices[0].permanentLineId: value does not fit in 32 bits"},
        {strDevice + R"(, "trunk": 2}]})", "office.json: devices[0].trunk: only co lines have a trunk number"},
        {strTwo + R"("timeline": [{"at": 1, "event": "internal", "from": "201", "to": "209"}]})",
         "office.json: timeline[0].to: no device has the number \"209\""},
        {strTwo + R"("timeline": [{"at": 1, "event": "inbound", "to": "201", "caller": "1", "trunk": "201"}]})",
         "office.json: timeline[0].trunk: \"201\" is not a co line"},
        {strTwo + R"("timeline": [{"event": "reinit"}]})",
         "office.json: timeline[0]: missing \"at\" (seconds from the start)"},
        {strTwo + R"("timeline": [{"at": -1, "event": "reinit"}]})",
         "office.json: timeline[0].at: seconds must lie between 0 and 10000000"},
        {strTwo + R"("timeline": [{"at": 1, "event": "ring"}]})",
         "office.json: timeline[0].event: unknown event \"ring\"", true},
        {strTwo + R"("timeline": [{"at": 1, "event": "outbound", "from": "201"}]})",
         "office.json: timeline[0]: a outbound event needs \"number\""},
        {strTwo + R"("traffic": {"callsPerMinute": 2, "mix": {"internal": 0}}})",
         "office.json: traffic.mix: at least one kind of call needs a weight above 0"},
        {strTwo + R"("traffic": {"callsPerMinute": 2, "talk": [9, 3]}})",
         "office.json: traffic.talk: the lowest value is above the highest"},
        // Numbers no double holds are found where they stand, not thrown past the reader.
        {"{\"seed\": 1e400,\n\"devices\": []}", "office.json: line 1, column 10: number overflow parsing '1e400'"},
        {strTwo + "\"timeline\": [{\"at\": -2E+999, \"event\": \"reinit\"}]}",
         "office.json: line 1, column 101: number overflow parsing '-2E+999'"},
        // A rate so low that its gaps outlast any scenario time has no interval in milliseconds.
        {strTwo + R"("traffic": {"callsPerMinute": 1e-300}})",
         "office.json: traffic.callsPerMinute: a rate above 0 must be at least 0.000006 (one call in 10000000 "
         "seconds)"},
        {strTwo + R"("traffic": {"callsPerMinute": 5e-6}})",
         "office.json: traffic.callsPerMinute: a rate above 0 must be at least 0.000006 (one call in 10000000 "
         "seconds)"},
        {strTwo + R"("traffic": {"callsPerMinute": 18446744073709551616}})",
         "office.json: traffic.callsPerMinute: expected a number from 0 to 600"},
        {strTwo + R"("traffic": {"callsPerMinute": 2, "ring": [0, 1e7], "talk": [-0.0, 184467440737095516160]}})",
         "office.json: traffic.talk[1]: seconds must lie between 0 and 10000000"},
        {R"({"seed": 1e19, "devices": [{"kind": "ext", "number": "201"}]})",
         "office.json: seed: expected a whole number from 0 to 4294967295 or a text like \"0x3001\""},
    };
    for (const CCase& c : cases) {
        const std::string strError = ErrorOf(c.strText);
        if (c.bPrefix) {
            EXPECT_EQ(strError.rfind(c.strError, 0), 0u) << c.strText << "\n" << strError;
        } else {
            EXPECT_EQ(strError, c.strError) << c.strText;
        }
    }

    // The slowest rate the reader takes still becomes an interval, and the same
    // overflow in an injected event is an error, not an end of the simulator.
    CSimScenario scenario;
    std::string strError;
    ASSERT_TRUE(ParseScenario(strTwo + R"("traffic": {"callsPerMinute": 6e-6}})", "t.json", &scenario, &strError))
        << strError;
    EXPECT_TRUE(scenario.m_traffic.m_bEnabled);
    EXPECT_EQ(scenario.m_traffic.m_tMeanInterval, 10000000000u);
    CSimAction action;
    EXPECT_FALSE(ParseAction(R"({"event": "reinit", "at": 1e999})", scenario.m_lines, &action, &strError));
    EXPECT_EQ(strError, "event: line 1, column 27: number overflow parsing '1e999'");
}

TEST(SimScenario, FilesAreReadOrReportedByPath) {
    CSimScenario scenario;
    std::string strError;
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "lsc_sim_scenario_test";
    std::filesystem::create_directories(dir);
    std::string strMissing = (dir / "missing.json").string();
    EXPECT_FALSE(LoadScenarioFile(strMissing, &scenario, &strError));
    EXPECT_EQ(strError, strMissing + ": the file cannot be opened");

    std::string strPath = (dir / "empty.json").string();
    { std::ofstream(strPath) << ""; }
    EXPECT_FALSE(LoadScenarioFile(strPath, &scenario, &strError));
    EXPECT_EQ(strError.rfind(strPath + ": line 1, column 1: ", 0), 0u) << strError;
    std::filesystem::remove_all(dir);

    // Every example scenario that ships loads without fault and builds a model.
    int nFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(SIM_SCENARIO_DIR)) {
        if (entry.path().extension() != ".json") {
            continue;
        }
        ++nFiles;
        CSimScenario example;
        EXPECT_TRUE(LoadScenarioFile(entry.path().string(), &example, &strError)) << strError;
        std::unique_ptr<CSimPbx> pPbx = BuildPbx(example);
        pPbx->Advance(600000);
        EXPECT_FALSE(pPbx->TakeEvents().empty()) << entry.path();
    }
    EXPECT_GE(nFiles, 2);
}

TEST(SimScenario, TimelineAndInjectedEventsRunOnTheModel) {
    CSimScenario scenario;
    std::string strError;
    ASSERT_TRUE(ParseScenario(std::string(kTwoLines) + R"(
        "timeline": [{"at": 2.5, "event": "outOfService", "line": "801", "for": 1.5}]})",
                              "t.json", &scenario, &strError))
        << strError;
    std::unique_ptr<CSimPbx> pPbx = BuildPbx(scenario);
    pPbx->Advance(2499);
    EXPECT_TRUE(pPbx->TakeEvents().empty());
    pPbx->Advance(1);
    std::vector<CSimEvent> events = pPbx->TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].m_eLineState, ELineState::OutOfService);
    pPbx->Advance(1500);
    events = pPbx->TakeEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].m_eLineState, ELineState::InService);
    EXPECT_EQ(events[0].m_tAt, 4000u);

    CSimAction action;
    ASSERT_TRUE(ParseAction(R"({"event": "reinit"})", scenario.m_lines, &action, &strError)) << strError;
    EXPECT_EQ(action.m_eKind, EActionKind::Reinit);
    EXPECT_FALSE(ParseAction(R"({"event": "hangup", "line": "999"})", scenario.m_lines, &action, &strError));
    EXPECT_EQ(strError, "event: line: no device has the number \"999\"");
    EXPECT_FALSE(ParseAction("{", scenario.m_lines, &action, &strError));
    EXPECT_EQ(strError.rfind("event: line 1, column 2: ", 0), 0u) << strError;
}

TEST(SimScenario, DefaultOfficeHasTwelveExtensionsFourTrunksAndThreeOtherLines) {
    CSimScenario office = DefaultOffice();
    int nCounts[4] = {0, 0, 0, 0};
    for (const CSimLineConfig& line : office.m_lines) {
        ++nCounts[static_cast<int>(line.m_eKind)];
        if (line.m_eKind == ELineKind::Ext) {
            EXPECT_GE(line.m_dwPermanentLineID & 0xFFFF, 0x3000u);
            EXPECT_LT(line.m_dwPermanentLineID & 0xFFFF, 0x7000u);
        }
        if (line.m_eKind == ELineKind::Co) {
            EXPECT_GE(line.m_dwPermanentLineID & 0xFFFF, 0x1000u);
            EXPECT_LT(line.m_dwPermanentLineID & 0xFFFF, 0x3000u);
        }
        if (line.m_eKind == ELineKind::Etc) {
            EXPECT_EQ(line.m_dwPermanentLineID & 0xFF00, 0x0500u);
        }
    }
    EXPECT_EQ(nCounts[static_cast<int>(ELineKind::Ext)], 12);
    EXPECT_EQ(nCounts[static_cast<int>(ELineKind::Co)], 4);
    EXPECT_EQ(nCounts[static_cast<int>(ELineKind::Etc)] + nCounts[static_cast<int>(ELineKind::Other)], 3);
    EXPECT_GE(nCounts[static_cast<int>(ELineKind::Other)], 1);
    EXPECT_TRUE(office.m_traffic.m_bEnabled);

    // Steady traffic: ten minutes bring calls on extensions and trunks alike.
    std::unique_ptr<CSimPbx> pPbx = BuildPbx(office);
    pPbx->Advance(600000);
    std::set<ELineKind> seen;
    for (const CSimEvent& event : pPbx->TakeEvents()) {
        if (event.m_eKind == EEventKind::NewCall) {
            seen.insert(office.m_lines[event.m_dwLine].m_eKind);
        }
    }
    EXPECT_EQ(seen.count(ELineKind::Ext), 1u);
    EXPECT_EQ(seen.count(ELineKind::Co), 1u);
}
