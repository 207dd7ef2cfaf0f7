// The window's port list on WM_DEVICECHANGE, sent as the system sends it:
// a COM-port interface's arrival or removal has the list found again and
// rewritten, with the operator's choice applied.
#include <windows.h>
#include <dbt.h>

#include "window_fixture.h"

namespace quill::test {
namespace {

// GUID_DEVINTERFACE_COMPORT, typed from the system's definition.
constexpr GUID kComPort = {0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

class PortFollowTest : public WindowTest {
  protected:
    void SetUp() override {
        foundPorts = {{"COM12", "USB Serial Port (COM12)"}};
        WindowTest::SetUp();
    }

    void deviceChange(WPARAM event) {
        DEV_BROADCAST_DEVICEINTERFACE_W report{};
        report.dbcc_size = sizeof(report);
        report.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        report.dbcc_classguid = kComPort;
        SendMessageW(window->hwnd(), WM_DEVICECHANGE, event, reinterpret_cast<LPARAM>(&report));
    }

    std::vector<std::wstring> entriesAfterCom10() const {
        std::vector<std::wstring> entries;
        for (int i = 10; i < window->listCount(kPortListId); ++i) entries.push_back(window->listItem(kPortListId, i));
        return entries;
    }
};

TEST_F(PortFollowTest, AComPortArrivingOrLeavingHasTheListFoundAgain) {
    const std::wstring sim = W(kSimulatorEntryText);
    const std::wstring search = W(kAutoEntryText);
    choose(kPortListId, 10);  // COM12

    foundPorts = {{"COM4", ""}, {"COM11", ""}, {"COM12", "USB Serial Port (COM12)"}};
    deviceChange(DBT_DEVICEARRIVAL);
    EXPECT_EQ(entriesAfterCom10(),
              (std::vector<std::wstring>{L"COM11", L"COM12 USB Serial Port", search, sim}));
    EXPECT_EQ(window->selectedIndex(kPortListId), 11);
    EXPECT_EQ(text(kPortListId), L"COM12 USB Serial Port");
    EXPECT_EQ(window->simulatorEntry(), 13);

    foundPorts = {};
    deviceChange(DBT_DEVICEREMOVECOMPLETE);
    EXPECT_EQ(entriesAfterCom10(), (std::vector<std::wstring>{search, sim}));
    EXPECT_EQ(window->selectedIndex(kPortListId), -1);
    EXPECT_EQ(text(kPortListId), L"COM12 USB Serial Port");  // the choice stays in the field
    EXPECT_EQ(window->simulatorEntry(), 11);
}

}  // namespace
}  // namespace quill::test
