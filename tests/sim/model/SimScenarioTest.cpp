#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "model/SimScenario.h"

using namespace sim;

TEST(SimScenario, DevicesGetTheMakerTextsAndIdsOfTheirGroup) {
    CSimScenario scenario;
    std::string strError;
    ASSERT_TRUE(ParseScenario(R"({"name": "t", "seed": 9, "devices": [
          {"kind": "ext", "number": "201", "name": "Reception"},
          {"kind": "ext", "number": "202", "provider": "Talvora ZR-40N 1st Party", "refuseVersions": ["0x00020000"]},
          {"kind": "co", "number": "801"}, {"kind": "co", "number": "802", "trunk": 7, "name": "City"},
          {"kind": "etc", "number": "700", "name": "Voice Mail"},
          {"kind": "etc", "number": "710", "permanentLineId": "0x0600"},
          {"kind": "other", "number": "750", "name": "Fax", "openFails": true, "inService": false}]})",
                              "t.json", &scenario, &strError))
        << strError;
    EXPECT_EQ(scenario.m_qwSeed, 9u);
    std::string strDevices;
    for (const CSimLineConfig& l : scenario.m_lines) {
        char sz[32];
        std::snprintf(sz, sizeof sz, "%X t%d ", unsigned(l.m_dwPermanentLineID), int(l.m_dwTrunk));
        strDevices += sz + l.m_strProvider + "/" + l.m_strSwitchInfo + "/" + l.m_strLineName + "/" + l.m_strName +
                      (l.m_refusedVersions.empty() ? "" : " refuses") + (l.m_bOpenFails ? " fails" : "") +
                      (l.m_bInService ? "\n" : " out\n");
    }
    EXPECT_EQ(strDevices,
              "3001 t-1 Talvora ZR-40N/ZR-40N R3.1/Ext 201/Reception\n"
              "3002 t-1 Talvora ZR-40N 1st Party/ZR-40N R3.1/Ext 202/202 refuses\n"
              "1001 t1 Talvora ZR-40N/ZR-40N R3.1/Trunk 1/801\n"
              "1002 t7 Talvora ZR-40N/ZR-40N R3.1/Trunk 7/City\n"
              "501 t-1 Talvora ZR-40N/ZR-40N R3.1/Voice Mail/Voice Mail\n"
              "600 t-1 Talvora ZR-40N/ZR-40N R3.1/710/710\n"
              "20001 t-1 Sample Line Provider//Fax/Fax fails out\n");
    EXPECT_EQ(scenario.m_lines[1].m_refusedVersions, std::vector<DWORD>{0x00020000});
}

TEST(SimScenario, FaultsNameTheFileThePlaceAndWhatIsWrong) {
    const std::string strTwo = R"({"devices": [{"kind": "ext", "number": "201"}, {"kind": "co", "number": "801"}],)";
    const std::string strDevice = R"({"devices": [{"kind": "ext", "number": "201")";
    struct {
        std::string strText;
        std::string strError;
        bool bPrefix = false;  // the fault text goes on with the parser's own words
    } const cases[] = {
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
    CSimScenario scenario;
    std::string strError;
    for (const auto& c : cases) {
        EXPECT_FALSE(ParseScenario(c.strText, "office.json", &scenario, &strError));
        EXPECT_EQ(c.bPrefix ? strError.substr(0, c.strError.size()) : strError, c.strError) << c.strText;
    }

    // The slowest rate the reader takes still becomes an interval, and the same
    // overflow in an injected event is an error, not an end of the simulator.
    ASSERT_TRUE(ParseScenario(strTwo + R"("traffic": {"callsPerMinute": 6e-6}})", "t.json", &scenario, &strError))
        << strError;
    EXPECT_TRUE(scenario.m_traffic.m_bEnabled);
    EXPECT_EQ(scenario.m_traffic.m_tMeanInterval, 10000000000u);
    // Injected events are checked against the devices alike.
    const std::pair<const char*, const char*> actions[] = {
        {R"({"event": "reinit", "at": 1e999})", "event: line 1, column 27: number overflow parsing '1e999'"},
        {R"({"event": "hangup", "line": "999"})", "event: line: no device has the number \"999\""},
        {"{", "event: line 1, column 2: "},
    };
    for (const auto& [pszText, pszError] : actions) {
        CSimAction action;
        EXPECT_FALSE(ParseAction(pszText, scenario.m_lines, &action, &strError));
        EXPECT_EQ(strError.substr(0, std::strlen(pszError)), pszError);
    }
}

TEST(SimScenario, FilesAreReadOrReportedByPathAndTheExamplesRun) {
    CSimScenario scenario;
    std::string strError;
    std::filesystem::path dir = std::filesystem::temp_directory_path() / "lsc_sim_scenario_test";
    std::filesystem::create_directories(dir);
    std::string strPath = (dir / "empty.json").string();
    EXPECT_FALSE(LoadScenarioFile(strPath + ".missing", &scenario, &strError));
    EXPECT_EQ(strError, strPath + ".missing: the file cannot be opened");
    { std::ofstream(strPath) << ""; }
    EXPECT_FALSE(LoadScenarioFile(strPath, &scenario, &strError));
    EXPECT_EQ(strError.rfind(strPath + ": line 1, column 1: ", 0), 0u) << strError;
    std::filesystem::remove_all(dir);

    // Every example scenario that ships loads and brings calls.
    int nFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(SIM_SCENARIO_DIR)) {
        if (entry.path().extension() != ".json") {
            continue;
        }
        ++nFiles;
        EXPECT_TRUE(LoadScenarioFile(entry.path().string(), &scenario, &strError)) << strError;
        std::unique_ptr<CSimPbx> pPbx = BuildPbx(scenario);
        pPbx->Advance(600000);
        EXPECT_FALSE(pPbx->TakeEvents().empty()) << entry.path();
    }
    EXPECT_GE(nFiles, 2);
}

TEST(SimScenario, DefaultOfficeHasTwelveExtensionsFourTrunksAndThreeOtherLinesWithTraffic) {
    CSimScenario office = DefaultOffice();
    std::string strIds;
    for (const CSimLineConfig& line : office.m_lines) {
        char sz[16];
        std::snprintf(sz, sizeof sz, "%d:%X ", static_cast<int>(line.m_eKind), unsigned(line.m_dwPermanentLineID));
        strIds += sz;
    }
    EXPECT_EQ(strIds,
              "0:3001 0:3002 0:3003 0:3004 0:3005 0:3006 0:3007 0:3008 0:3009 0:300A 0:300B 0:300C "
              "1:1001 1:1002 1:1003 1:1004 2:501 2:502 3:20001 ");

    // Steady traffic: ten minutes bring calls on extensions and trunks alike.
    std::unique_ptr<CSimPbx> pPbx = BuildPbx(office);
    pPbx->Advance(600000);
    std::set<ELineKind> seen;
    for (const CSimEvent& event : pPbx->TakeEvents()) {
        if (event.m_eKind == EEventKind::NewCall) {
            seen.insert(office.m_lines[event.m_dwLine].m_eKind);
        }
    }
    EXPECT_EQ(seen, (std::set<ELineKind>{ELineKind::Ext, ELineKind::Co}));
}
