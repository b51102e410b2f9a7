// The monitor object: its initial state, the line accessors, the call-table
// and tree registration, and Shutdown.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "monitor/TapiMonitor.h"
#include "reports/Snapshots.h"
#include "support/FakeTapi.h"
#include "support/MonitorInternals.h"
#include "views/MemoryTreeCtrl.h"

namespace {

// The structure as a query into a buffer of its full size would leave it.
std::vector<BYTE> Filled(const CStructImage& image) {
    std::vector<BYTE> bytes(image.Bytes().size(), 0);
    const DWORD dwTotal = static_cast<DWORD>(bytes.size());
    std::memcpy(bytes.data(), &dwTotal, 4);
    image.FillInto(bytes.data());
    return bytes;
}

// A line record as start-up would have built it, with the given handle.
std::unique_ptr<CLineDevCaps> MakeRecord(DWORD dwDeviceID, HLINE hLine) {
    const std::vector<BYTE> bytes = Filled(CFakeTapi::MakeDevCaps("Talvora ZR-40", 0x3000 + dwDeviceID, "line"));
    auto pRecord = std::make_unique<CLineDevCaps>(bytes.data());
    pRecord->m_dwDeviceID = dwDeviceID;
    pRecord->m_hLine = hLine;
    return pRecord;
}

HTREEITEM Item(std::uintptr_t n) {
    return reinterpret_cast<HTREEITEM>(n);
}

}  // namespace

TEST(Monitor, LineAccessorsStayInsideTheirGroupAndAnUnusedMonitorLeavesTapiAlone) {
    CFakeTapi fake;
    { CTapiMonitor unused; }
    EXPECT_EQ(fake.Sequence(), "");  // neither building nor destroying it touches TAPI
    {
        CTapiMonitor monitor;
        EXPECT_EQ(monitor.GetExtLine(0), nullptr);
        Internals(monitor).m_extLines.push_back(MakeRecord(0, 0x1000));
        Internals(monitor).m_coLines.push_back(MakeRecord(1, 0x1001));
        Internals(monitor).m_coLines.push_back(MakeRecord(2, 0x1002));
        EXPECT_EQ(monitor.GetExtLineCount(), 1);
        EXPECT_EQ(monitor.GetCoLineCount(), 2);
        EXPECT_EQ(monitor.GetEtcLineCount(), 0);
        EXPECT_EQ(monitor.GetExtLine(0), Internals(monitor).m_extLines[0].get());
        EXPECT_EQ(monitor.GetExtLine(1), nullptr);
        EXPECT_EQ(monitor.GetCoLine(1)->m_dwDeviceID, 2u);
        EXPECT_EQ(monitor.GetCoLine(2), nullptr);   // index equal to the count
        EXPECT_EQ(monitor.GetCoLine(-1), nullptr);  // negative index
        EXPECT_EQ(monitor.GetEtcLine(0), nullptr);
    }
}

TEST(Monitor, ShutdownClosesOpenedLinesInGroupOrderAndShutsTapiDownOnce) {
    CFakeTapi fake;
    auto pMonitor = std::make_unique<CTapiMonitor>();
    CTapiMonitor& monitor = *pMonitor;
    Internals(monitor).m_bInitialized = TRUE;
    Internals(monitor).m_hLineApp = 0xA1;
    // ETC and CO are filled first, so the order of closing is the monitor's own.
    Internals(monitor).m_etcLines.push_back(MakeRecord(5, 0x1005));
    Internals(monitor).m_coLines.push_back(MakeRecord(3, 0x1003));
    Internals(monitor).m_coLines.push_back(MakeRecord(4, 0));  // lineOpen failed: nothing to close
    Internals(monitor).m_extLines.push_back(MakeRecord(1, 0x1001));
    Internals(monitor).m_extLines.push_back(MakeRecord(0, 0x1000));
    for (auto* pLines :
         {&Internals(monitor).m_extLines, &Internals(monitor).m_coLines, &Internals(monitor).m_etcLines}) {
        for (auto& pLine : *pLines) {
            if (pLine->m_hLine) Internals(monitor).m_extByLine[pLine->m_hLine] = pLine.get();
        }
    }
    Internals(monitor).m_coByItem[Item(0x40)] = Internals(monitor).m_coLines[0].get();
    const std::vector<BYTE> addressCaps = Filled(CFakeTapi::MakeAddressCaps(3, "21"));
    Internals(monitor).m_addressCaps.push_back(std::make_unique<CLineAddressCaps>(addressCaps.data()));
    Internals(monitor).m_coLines[0]->m_pAddressCaps = Internals(monitor).m_addressCaps[0].get();
    Internals(monitor).m_extCalls[0x5001] = Item(0x50);
    Internals(monitor).m_dwDropRequest = 9;

    monitor.Shutdown();
    EXPECT_EQ(fake.Sequence(), "lineClose,lineClose,lineClose,lineClose,lineShutdown");
    std::vector<DWORD_PTR> closed;
    for (const auto& call : fake.CallsOf("lineClose")) closed.push_back(call.args[0]);
    EXPECT_EQ(closed, (std::vector<DWORD_PTR>{0x1001, 0x1000, 0x1003, 0x1005}));
    EXPECT_EQ(fake.CallsOf("lineShutdown").at(0).args[0], 0xA1u);
    EXPECT_FALSE(Internals(monitor).m_bInitialized);
    EXPECT_EQ(Internals(monitor).m_hLineApp, 0xA1u);
    EXPECT_EQ(monitor.GetExtLineCount() + monitor.GetCoLineCount() + monitor.GetEtcLineCount(), 0);
    EXPECT_TRUE(Internals(monitor).m_addressCaps.empty());
    // Nothing leads to a destroyed record any more.
    EXPECT_TRUE(Internals(monitor).m_extByLine.empty());
    EXPECT_TRUE(Internals(monitor).m_coByItem.empty());
    // What does not point at records stays.
    EXPECT_EQ(Internals(monitor).m_extCalls.size(), 1u);
    EXPECT_EQ(Internals(monitor).m_dwDropRequest, 9u);

    // Again, and then destruction: nothing more.
    monitor.Shutdown();
    pMonitor.reset();
    EXPECT_EQ(fake.Count("lineShutdown"), 1u);
    EXPECT_EQ(fake.Count("lineClose"), 4u);
}

TEST(Monitor, DestructionShutsDownAMonitorThatWasNeverShutDown) {
    CFakeTapi fake;
    {
        CTapiMonitor monitor;
        Internals(monitor).m_bInitialized = TRUE;
        Internals(monitor).m_hLineApp = 0xA2;
        Internals(monitor).m_extLines.push_back(MakeRecord(0, 0x1000));
    }
    EXPECT_EQ(fake.Sequence(), "lineClose,lineShutdown");
    EXPECT_EQ(fake.CallsOf("lineShutdown").at(0).args[0], 0xA2u);
}
