// The native window as the layout table describes it, its shell (system and
// context menus, help, about, boxes) and the form's data exchange.
#include <algorithm>
#include <cwchar>
#include <functional>
#include <set>
#include <span>

#include "form/parameter_fields.h"
#include "protocol/wire.h"
#include "session/session_controller.h"
#include "sim/simulated_dtu.h"
#include "protocol/text_codec.h"
#include "window_fixture.h"

namespace quill::test {
namespace {

std::wstring ClassOf(HWND control) {
    wchar_t name[64] = {};
    GetClassNameW(control, name, 64);
    return name;
}

// The class the system's dialog manager must have created for a kind of row.
std::wstring ExpectedClass(ControlKind kind) {
    switch (kind) {
        case ControlKind::Edit:
        case ControlKind::MultiLineEdit:
            return L"Edit";
        case ControlKind::ComboBox:
            return L"ComboBox";
        case ControlKind::Static:
        case ControlKind::StaticBorder:
        case ControlKind::Icon:
            return L"Static";
        default:
            return L"Button";
    }
}

// The control's rectangle in the dialog's client area, in pixels.
RECT ClientRectOf(HWND dialog, HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

using LayoutTest = WindowTest;

TEST_F(LayoutTest, EveryShownRowBecomesItsControlInTableOrderTheOthersHaveNoWindow) {
    const auto rows = MainDialogTemplate().controls;
    ASSERT_EQ(rows.size(), 272u);
    std::vector<HWND> children;
    for (HWND child = GetWindow(window->hwnd(), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    std::vector<ControlDef> shown;
    for (const ControlDef& row : rows) {
        if (row.shown) {
            shown.push_back(row);
        } else if (row.id != kNoId) {
            EXPECT_EQ(item(row.id), nullptr) << row.id;
        }
    }
    ASSERT_EQ(children.size(), shown.size());

    for (std::size_t i = 0; i < shown.size(); ++i) {
        const ControlDef& row = shown[i];
        const HWND control = children[i];
        SCOPED_TRACE(testing::Message() << "row " << i << " id " << row.id);
        // Z-order is creation order, which is the tab order.
        EXPECT_EQ(GetDlgCtrlID(control), row.id);
        EXPECT_EQ(ClassOf(control), ExpectedClass(row.kind));
        EXPECT_EQ((GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0, row.shown);
        EXPECT_EQ(IsWindowEnabled(control) != FALSE, row.enabled);
        EXPECT_EQ((GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) != 0,
                  row.kind != ControlKind::Static && row.kind != ControlKind::StaticBorder &&
                      row.kind != ControlKind::GroupBox && row.kind != ControlKind::Icon);
        if (row.kind != ControlKind::Edit && row.kind != ControlKind::MultiLineEdit &&
            row.kind != ControlKind::ComboBox && row.id != kStatusLineId) {
            EXPECT_EQ(TextOf(control), W(row.caption));
        }

        // Where the dialog manager put it: position and size each in the row's dialog units.
        RECT origin{row.rect.x, row.rect.y, row.rect.w, row.rect.h};
        MapDialogRect(window->hwnd(), &origin);
        const RECT placed = ClientRectOf(window->hwnd(), control);
        EXPECT_EQ(placed.left, origin.left);
        EXPECT_EQ(placed.top, origin.top);
        EXPECT_EQ(placed.right - placed.left, origin.right);
        if (row.kind != ControlKind::ComboBox) {  // a list sizes its field itself
            EXPECT_EQ(placed.bottom - placed.top, origin.bottom);
        }
    }
}

TEST_F(LayoutTest, ListsHoldTheTableEntriesAndTheWindowsStartSelections) {
    for (const ControlDef& row : MainDialogTemplate().controls) {
        if (row.kind != ControlKind::ComboBox || row.id == kPortListId) continue;
        SCOPED_TRACE(row.id);
        ASSERT_EQ(window->listCount(row.id), static_cast<int>(row.items.size()));
        for (std::size_t i = 0; i < row.items.size(); ++i)
            EXPECT_EQ(window->listItem(row.id, static_cast<int>(i)), W(row.items[i]));
        EXPECT_EQ(window->selectedIndex(row.id), row.id == kDemoRateListId ? 9 : -1);
    }
    EXPECT_EQ(text(kDemoRateListId), L"57600");
    EXPECT_EQ(text(kIntervalEditId), L"1000");
    EXPECT_EQ(text(kStatusLineId), L"Quillmere");
    EXPECT_EQ(text(1055), W("101规约Quillmere        版本：V1.1"));
}

TEST_F(LayoutTest, ValueControlsStartDisabledAndEmptyWithNothingTicked) {
    for (const ParameterField& field : ParameterFields()) {
        SCOPED_TRACE(field.name());
        EXPECT_FALSE(ticked(field.checkBoxId()));
        for (const int id : field.valueIds()) {
            EXPECT_FALSE(enabled(id));
            if (field.kind == FieldKind::Text) {
                EXPECT_EQ(text(id), L"");
            }
        }
    }
}

TEST_F(LayoutTest, TheDialogIsSizedInTheTablesDialogUnits) {
    RECT client;
    GetClientRect(window->hwnd(), &client);
    RECT units{0, 0, MainDialogTemplate().width, MainDialogTemplate().height};
    MapDialogRect(window->hwnd(), &units);
    EXPECT_EQ(client.right, units.right);
    EXPECT_EQ(client.bottom, units.bottom);
    EXPECT_EQ(TextOf(window->hwnd()), L"Quillmere");
    const LONG style = GetWindowLongW(window->hwnd(), GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
}

// ---- The port list --------------------------------------------------------------

class PortListTest : public WindowTest {
  protected:
    void SetUp() override {
        foundPorts = {
            {"COM3", "USB Serial Port (COM3)"}, {"COM12", "USB Serial Port (COM12)"}, {"COM15", ""}};
        WindowTest::SetUp();
    }
};

TEST_F(PortListTest, ComOneToTenThenPortsFoundBeyondThemThenTheSearchThenTheSimulatedDtu) {
    ASSERT_EQ(window->listCount(kPortListId), 14);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(window->listItem(kPortListId, i), L"com" + std::to_wstring(i + 1));
    // COM3 is com3 already; a found port shows its adapter's name without repeating the port.
    EXPECT_EQ(window->listItem(kPortListId, 10), L"COM12 USB Serial Port");
    EXPECT_EQ(window->listItem(kPortListId, 11), L"COM15");
    EXPECT_EQ(window->listItem(kPortListId, 12), W(kAutoEntryText));
    EXPECT_EQ(window->listItem(kPortListId, 13), W(kSimulatorEntryText));
    EXPECT_EQ(window->simulatorEntry(), 13);
    EXPECT_EQ(window->selectedIndex(kPortListId), 0);
    EXPECT_EQ(text(kPortListId), L"com1");
}

TEST_F(PortListTest, APortThatCannotBeOpenedIsReportedInTheErrorBox) {
    // COM199 exists nowhere; an empty field with nothing selected is port 0,
    // which is no port at all (not com1).
    for (const std::wstring_view typed : {L"COM199", L""}) {
        boxes.clear();
        window->selectIndex(kPortListId, -1);
        setText(kPortListId, typed);
        click(kOpenButtonId);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, L"没有发现此串口或被占用");
        EXPECT_EQ(boxes[0].caption, W(kErrorCaption));
        EXPECT_FALSE(window->session.portOpen());
        EXPECT_FALSE(window->session.line().engine().IsOpen());
        EXPECT_EQ(text(kStatusLineId), L"Quillmere");
        EXPECT_TRUE(enabled(kOpenButtonId));
        EXPECT_FALSE(enabled(kCloseButtonId));
    }
}

// ---- Shell -------------------------------------------------------------------------

using ShellTest = WindowTest;

TEST_F(ShellTest, TheSystemMenuEndsWithTheAboutEntryAfterASeparator) {
    HMENU menu = GetSystemMenu(window->hwnd(), FALSE);
    ASSERT_NE(menu, nullptr);
    const int n = GetMenuItemCount(menu);
    ASSERT_GE(n, 2);
    EXPECT_EQ(GetMenuItemID(menu, n - 1), ID_SYS_ABOUT);
    wchar_t entry[64] = {};
    GetMenuStringW(menu, static_cast<UINT>(n - 1), entry, 64, MF_BYPOSITION);
    EXPECT_EQ(std::wstring(entry), W(kAboutMenuText));
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    GetMenuItemInfoW(menu, static_cast<UINT>(n - 2), TRUE, &info);
    EXPECT_TRUE(info.fType & MFT_SEPARATOR);
}

TEST_F(ShellTest, SystemCommandsSixteenToThirtyOneOpenTheAboutBoxOthersDoNot) {
    for (WPARAM command : {0x10, 0x13, 0x1F}) SendMessageW(window->hwnd(), WM_SYSCOMMAND, command, 0);
    SendMessageW(window->hwnd(), WM_SYSCOMMAND, 0x20, 0);
    EXPECT_EQ(dialogs, std::vector<std::string>(3, std::string(AboutDialogTemplate().caption)));
}

// What the real about box showed; filled while it runs, by a timer of its modal loop.
struct AboutSeen {
    bool found = false;
    std::wstring okCaption;
    bool iconShown = false;
    std::vector<std::wstring> texts;
};
AboutSeen seenAbout;

void CALLBACK LookAtAboutBox(HWND, UINT, UINT_PTR timer, DWORD) {
    const HWND about = FindWindowW(nullptr, W(AboutDialogTemplate().caption).c_str());
    if (about == nullptr) return;
    KillTimer(nullptr, timer);
    seenAbout.found = true;
    seenAbout.okCaption = TextOf(GetDlgItem(about, IDOK));
    for (HWND child = GetWindow(about, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            seenAbout.iconShown = SendMessageW(child, STM_GETICON, 0, 0) != 0;
        else if (GetDlgCtrlID(child) != IDOK)
            seenAbout.texts.push_back(TextOf(child));
    }
    PostMessageW(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

TEST_F(ShellTest, TheAboutBoxShowsTheIconAndItsLinesAndItsButtonClosesIt) {
    window->modalHook = nullptr;
    seenAbout = {};
    const UINT_PTR timer = SetTimer(nullptr, 0, 20, LookAtAboutBox);
    ASSERT_NE(timer, 0u);
    // Returns when the box has been closed.
    SendMessageW(window->hwnd(), WM_SYSCOMMAND, ID_SYS_ABOUT, 0);
    KillTimer(nullptr, timer);
    ASSERT_TRUE(seenAbout.found);
    EXPECT_EQ(seenAbout.okCaption, W("确定"));
    EXPECT_TRUE(seenAbout.iconShown);
    ASSERT_EQ(seenAbout.texts.size(), 2u);
    EXPECT_EQ(seenAbout.texts[0], W("Quillmere V1.3版"));
    EXPECT_FALSE(FindWindowW(nullptr, W(AboutDialogTemplate().caption).c_str()));
}

TEST_F(ShellTest, TheContextMenuOffersTheAboutEntryAndItsCommandOpensTheBox) {
    const auto entries = window->contextMenuEntries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back().text, W(kAboutMenuText));
    SendMessageW(window->hwnd(), WM_COMMAND, MAKEWPARAM(entries.back().command, 0), 0);
    EXPECT_EQ(dialogs.size(), 1u);
}

TEST_F(ShellTest, HelpShowsItsTextInABoxWithoutIcon) {
    click(1043);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, W(kHelpCaption));
    EXPECT_EQ(boxes[0].text, W(kHelpText));
    EXPECT_EQ(boxes[0].icon, BoxIcon::None);
}

TEST_F(ShellTest, ReportsGoToTheEndWhateverTheOperatorSelectedAndEndWithAnEmptyLine) {
    setText(kInfoAreaId, L"typed by hand");
    SendMessageW(item(kInfoAreaId), EM_SETSEL, 0, 5);
    window->AppendInfo(W("<-连接DTU成功！\n\r\n\r"));
    window->AppendInfo(W("<-关闭串口成功\n\r\n\r"));
    EXPECT_EQ(text(kInfoAreaId), W("typed by hand<-连接DTU成功！\r\n\r\n<-关闭串口成功\r\n\r\n"));
}

TEST_F(ShellTest, TheInformationAreaTakesMoreThanTheEditsDefaultLimit) {
    const std::wstring line(1000, L'x');
    for (int i = 0; i < 40; ++i) window->AppendInfo(line);
    EXPECT_EQ(TextOf(item(kInfoAreaId)).size(), 40000u);
}

TEST_F(ShellTest, TheAccessibleNamesWaitForTheFirstPaintAndThenComIsStartedForThem) {
    // Started at the window's one-shot timer, which the system hands out
    // only once nothing is left to paint.
    ASSERT_TRUE(PumpUntil([&] { return window->comStarted(); }));
    EXPECT_FALSE(GetUpdateRect(window->hwnd(), nullptr, FALSE));
}

TEST_F(ShellTest, LabelsAndTheGenericSetsBoxesDrawTextOnTheWindowsBackgroundOthersDoNot) {
    // The unnumbered note, the status line, a generic-set box: transparent; a box of the IEC set: not.
    HWND note = nullptr;
    for (HWND child = GetWindow(window->hwnd(), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT))
        if (GetDlgCtrlID(child) == kNoId && (GetWindowLongW(child, GWL_STYLE) & WS_VISIBLE)) note = child;
    ASSERT_NE(note, nullptr);
    const auto modeFor = [&](HWND control) {
        HDC dc = CreateCompatibleDC(nullptr);
        SetBkMode(dc, OPAQUE);
        SendMessageW(window->hwnd(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                     reinterpret_cast<LPARAM>(control));
        const int mode = GetBkMode(dc);
        DeleteDC(dc);
        return mode;
    };
    EXPECT_EQ(modeFor(note), TRANSPARENT);
    EXPECT_EQ(modeFor(item(kStatusLineId)), TRANSPARENT);
    EXPECT_EQ(modeFor(item(1023)), OPAQUE);
    toggleBand();  // the terminal's boxes exist once the band is open
    EXPECT_EQ(modeFor(item(kAutoSendBoxId)), TRANSPARENT);
}

TEST_F(ShellTest, EnterDoesNotCloseTheWindowEscapeDoes) {
    SendMessageW(window->hwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_TRUE(IsWindow(window->hwnd()));
    const HWND hwnd = window->hwnd();
    SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(IsWindow(hwnd));
}

// ---- Form ----------------------------------------------------------------------------

using FormTest = WindowTest;

TEST_F(FormTest, TickingAFieldEnablesItsValueControlsUntickingDisablesThemAndKeepsTheValue) {
    click(1023);
    EXPECT_TRUE(enabled(1044));
    setText(1044, W("城西开关站"));
    click(1023);
    EXPECT_FALSE(enabled(1044));
    EXPECT_EQ(text(1044), W("城西开关站"));
    // The click ran the save exchange first: the member holds the GBK text.
    EXPECT_EQ(window->member(1044), Utf8ToGbk("城西开关站"));
}

TEST_F(FormTest, EveryShownCheckBoxGatesExactlyItsOwnValueControl) {
    for (const ParameterField& field : ParameterFields()) {
        if (!field.shown()) continue;
        SCOPED_TRACE(field.name());
        click(field.checkBoxId());
        for (const int id : field.valueIds()) EXPECT_TRUE(enabled(id));
        const int enabledValues = static_cast<int>(
            std::count_if(ParameterFields().begin(), ParameterFields().end(), [&](const ParameterField& f) {
                return std::any_of(f.valueIds().begin(), f.valueIds().end(),
                                   [&](int id) { return enabled(id); });
            }));
        EXPECT_EQ(enabledValues, 1);
        click(field.checkBoxId());
    }
}

TEST_F(FormTest, TheSerialSettingsBoxGatesAllFiveLists) {
    // Never shown, so it has no window: a tick set in its place and its click's message.
    window->setTicked(1021, true);
    SendMessageW(window->hwnd(), WM_COMMAND, MAKEWPARAM(1021, BN_CLICKED), 0);
    for (int id = 1016; id <= 1020; ++id) EXPECT_TRUE(enabled(id)) << id;
    window->setTicked(1021, false);
    SendMessageW(window->hwnd(), WM_COMMAND, MAKEWPARAM(1021, BN_CLICKED), 0);
    for (int id = 1016; id <= 1020; ++id) EXPECT_FALSE(enabled(id)) << id;
}

TEST_F(FormTest, SaveAndLoadCarryEveryBoundTextAsGbk) {
    // Each bound edit gets its own text, Chinese included; save, clear, load.
    for (const Binding& binding : BindingTable()) {
        if (binding.kind != BindingKind::Text) continue;
        setText(binding.controlId, W("值") + std::to_wstring(binding.controlId));
    }
    ASSERT_TRUE(window->ExchangeFormData(true));
    for (const Binding& binding : BindingTable()) {
        if (binding.kind != BindingKind::Text) continue;
        EXPECT_EQ(window->member(binding.controlId), Utf8ToGbk("值" + std::to_string(binding.controlId)));
        setText(binding.controlId, L"");
    }
    ASSERT_TRUE(window->ExchangeFormData(false));
    for (const Binding& binding : BindingTable()) {
        if (binding.kind != BindingKind::Text) continue;
        EXPECT_EQ(text(binding.controlId), W("值") + std::to_wstring(binding.controlId)) << binding.controlId;
    }
}

TEST_F(FormTest, AnIntervalThatIsNoUnsignedNumberIsRefusedWithThePromptAndStopsTheExchange) {
    toggleBand();
    window->autoSendInterval = 250;
    setText(kIntervalEditId, L"12a");  // EN_CHANGE runs the exchange at once
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, W(kUnsignedPrompt));
    EXPECT_EQ(window->autoSendInterval, 250u);
    // The exchange stopped at the interval: members after it keep their values.
    setText(1044, W("新站名"));
    setText(kIntervalEditId, L"");
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(window->member(1044), "");
    setText(kIntervalEditId, L" 4294967295 ");
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(window->autoSendInterval, 4294967295u);
    EXPECT_EQ(window->member(1044), Utf8ToGbk("新站名"));
}

TEST_F(FormTest, ClearDisplayEmptiesTheAreaAndRewritesTheForm) {
    window->AppendInfo(L"report\n");
    toggleBand();
    click(kClearButtonId);
    EXPECT_EQ(text(kInfoAreaId), L"");
    EXPECT_EQ(text(kIntervalEditId), L"1000");
}

// ---- The terminal band ------------------------------------------------------------------

using BandTest = WindowTest;

// The band's controls as created, each with its row (the rate list's label has no id).
std::vector<std::pair<HWND, const ControlDef*>> BandControls(HWND dialog) {
    std::vector<std::pair<HWND, const ControlDef*>> found;
    for (const PlacedControl& placed : TerminalBandLayout().controls) {
        const ControlDef& row = *placed.control;
        HWND match = nullptr;
        for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
            if (GetDlgCtrlID(child) == row.id && (row.id != kNoId || TextOf(child) == W(row.caption)))
                match = child;
        found.emplace_back(match, &row);
    }
    return found;
}

bool Inside(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

TEST_F(BandTest, EveryBandControlLiesInTheClientAreaOverlapsNoShownControlAndIsFoundAtItsCentre) {
    toggleBand();
    RECT client;
    GetClientRect(window->hwnd(), &client);
    std::vector<HWND> shown;
    for (HWND child = GetWindow(window->hwnd(), GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        if (IsWindowVisible(child)) shown.push_back(child);
    const auto isFrame = [](HWND control) {
        return (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX && ClassOf(control) == L"Button";
    };

    const auto band = BandControls(window->hwnd());
    ASSERT_EQ(band.size(), 13u);
    for (const auto& [control, row] : band) {
        SCOPED_TRACE(testing::Message() << "id " << row->id << " " << row->caption);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(IsWindowVisible(control));
        const RECT placed = ClientRectOf(window->hwnd(), control);
        EXPECT_TRUE(Inside(client, placed));
        for (const HWND other : shown) {
            if (other == control) continue;
            const RECT them = ClientRectOf(window->hwnd(), other);
            // A frame holds its controls; that is no overlap.
            if ((isFrame(other) && Inside(them, placed)) || (isFrame(control) && Inside(placed, them))) continue;
            RECT common;
            EXPECT_FALSE(IntersectRect(&common, &placed, &them)) << "overlaps id " << GetDlgCtrlID(other);
        }
        // A click at its centre reaches it; a frame takes no clicks, its centre may hold a label.
        const POINT centre{(placed.left + placed.right) / 2, (placed.top + placed.bottom) / 2};
        if (!isFrame(control)) {
            EXPECT_EQ(ChildWindowFromPoint(window->hwnd(), centre), control);
        }
    }
}

TEST_F(BandTest, TheBandGrowsTheWindowByItsRowsAndClosingItRestoresTheSize) {
    const auto clientHeight = [&] {
        RECT client;
        GetClientRect(window->hwnd(), &client);
        return client.bottom;
    };
    const auto unitsHigh = [&](int units) {
        RECT r{0, 0, 1, units};
        MapDialogRect(window->hwnd(), &r);
        return r.bottom;
    };
    RECT before;
    GetWindowRect(window->hwnd(), &before);
    for (const bool open : {true, false, true, false}) {
        toggleBand();
        SCOPED_TRACE(open);
        EXPECT_EQ(window->terminalControlsShown(), open);
        EXPECT_EQ(clientHeight(), unitsHigh(MainClientHeight(open)));
        for (const auto& [control, row] : BandControls(window->hwnd()))
            EXPECT_EQ(IsWindowVisible(control) != FALSE, open) << row->id;
    }
    RECT after;
    GetWindowRect(window->hwnd(), &after);
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);
    // Grown, it stays on the screen: the band can be reached.
    toggleBand();
    RECT grown;
    GetWindowRect(window->hwnd(), &grown);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(window->hwnd(), MONITOR_DEFAULTTONEAREST), &monitor));
    EXPECT_LE(grown.bottom, std::max(monitor.rcWork.bottom, monitor.rcWork.top + (grown.bottom - grown.top)));
}

TEST_F(BandTest, ControlsCreatedWithTheBandTakeOverTheStatesSetBeforeIt) {
    // Set while the controls had no window, as the session and the exchange do.
    window->setTicked(kHexModeBoxId, true);
    window->enableControl(kSendEditId, true);
    window->selectIndex(kDemoRateListId, 3);
    window->sendText = "abc";
    window->ExchangeFormData(false);
    toggleBand();
    EXPECT_EQ(SendMessageW(item(kHexModeBoxId), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_TRUE(IsWindowEnabled(item(kSendEditId)));
    EXPECT_FALSE(IsWindowEnabled(item(kSendButtonId)));
    EXPECT_EQ(SendMessageW(item(kDemoRateListId), CB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(TextOf(item(kDemoRateListId)), W(RateListItems()[3]));
    EXPECT_EQ(TextOf(item(kSendEditId)), L"abc");
    EXPECT_EQ(TextOf(item(kIntervalEditId)), L"1000");
    EXPECT_TRUE(boxes.empty());
}

// The terminal in the demo state, against the simulated DTU on each line.
class TerminalTest : public WindowTest, public ::testing::WithParamInterface<Line> {
  protected:
    void SetUp() override {
        if (GetParam() == Line::ComPort && !ComPortFromEnv("QUILLMERE_TEST_COM"))
            GTEST_SKIP() << "QUILLMERE_TEST_COM names no COM port with the simulated DTU behind it";
        WindowTest::SetUp();
    }

    // Open, connect, show the band, tick 配置完成, and start from an empty display.
    void enterDemo() {
        if (GetParam() == Line::Simulated)
            choose(kPortListId, window->simulatorEntry());
        else
            setText(kPortListId, W(*ComPortFromEnv("QUILLMERE_TEST_COM")));
        click(kOpenButtonId);
        ASSERT_TRUE(window->session.portOpen()) << (boxes.empty() ? std::string() : Narrow(boxes[0].text));
        window->OnTimerTick(TIMER_DTU_POLL);
        ASSERT_TRUE(PumpUntil([&] { return window->session.dtuConnected(); }));
        toggleBand();
        click(kConfigDoneBoxId);
        ASSERT_TRUE(waitCount("<-配置完成，进入演示状态\n\r\n\r"));
        click(kClearButtonId);
        ASSERT_EQ(text(kInfoAreaId), L"");
    }
    bool waitShown(std::wstring_view expected) {
        return PumpUntil([&] { return text(kInfoAreaId) == expected; });
    }
    // What the status line says the port was last opened at.
    std::wstring statusRate() const {
        const std::wstring status = text(kStatusLineId);
        return status.substr(status.rfind(W("波特率")) + 3);
    }
};

TEST_P(TerminalTest, TextSentInCharacterAndHexModeReachesTheDtuAndItsAnswerShows) {
    ASSERT_NO_FATAL_FAILURE(enterDemo());
    // The poll byte as a character: the DTU announces itself, 0x6C.
    setText(kSendEditId, L"7");
    click(kSendButtonId);
    EXPECT_TRUE(waitShown(L"l")) << text(kInfoAreaId);

    // A read request typed as hex pairs: only its exact bytes make the DTU
    // answer a read answer, which shows whole and in order, two digits a byte.
    click(kClearButtonId);
    click(kHexModeBoxId);
    const auto hexOf = [](std::span<const std::uint8_t> bytes, const wchar_t* format) {
        std::wstring hex;
        for (const std::uint8_t byte : bytes) {
            wchar_t pair[4];
            swprintf(pair, 4, format, byte);
            hex += pair;
        }
        return hex;
    };
    const auto request = BuildRequestFrame(0x0B);
    SimulatedDtu dtu;
    const std::wstring answer = hexOf(dtu.feed(request), L"%02X");
    setText(kSendEditId, hexOf(request, L"%02X "));
    click(kSendButtonId);
    EXPECT_TRUE(waitShown(answer)) << Narrow(text(kInfoAreaId));
    EXPECT_TRUE(answer.starts_with(L"7B8B"));
    EXPECT_TRUE(boxes.empty());
}

TEST_P(TerminalTest, ARatePickedFromTheListOrTypedReopensTheLineOneSetByTheProgramDoesNot) {
    ASSERT_NO_FATAL_FAILURE(enterDemo());
    const HWND list = item(kDemoRateListId);
    COMBOBOXINFO parts{};
    parts.cbSize = sizeof parts;
    ASSERT_TRUE(GetComboBoxInfo(list, &parts));
    const auto indexOf = [&](const wchar_t* rate) {
        return static_cast<int>(SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                             reinterpret_cast<LPARAM>(rate)));
    };
    struct Case {
        const char* how;
        std::function<void()> act;
        std::wstring rate;  // the rate the line runs at afterwards
    };
    const std::vector<Case> cases{
        {"picked from the list", [&] { choose(kDemoRateListId, indexOf(L"9600")); }, L"9600"},
        {"typed",
         [&] {
             SendMessageW(parts.hwndItem, EM_SETSEL, 0, -1);
             for (const wchar_t c : std::wstring(L"19200")) SendMessageW(parts.hwndItem, WM_CHAR, c, 1);
         },
         L"19200"},
        {"set by the program", [&] { window->selectIndex(kDemoRateListId, indexOf(L"2400")); }, L"19200"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        c.act();
        PumpPending();
        EXPECT_EQ(statusRate(), c.rate);
        EXPECT_TRUE(window->session.portOpen());
    }
    // The line still carries the terminal at the new rate.
    setText(kSendEditId, L"7");
    click(kSendButtonId);
    EXPECT_TRUE(waitShown(L"l")) << text(kInfoAreaId);
    EXPECT_TRUE(boxes.empty());
}

TEST_P(TerminalTest, AutoSendSendsAtEachTickOfTimerOneUntilItsBoxIsUnticked) {
    ASSERT_NO_FATAL_FAILURE(enterDemo());
    setText(kSendEditId, L"7");
    setText(kIntervalEditId, L"250");
    click(kAutoSendBoxId);
    EXPECT_TRUE(ticked(kAutoSendBoxId));
    EXPECT_EQ(window->timerPeriod(TIMER_AUTO_SEND), 250);
    for (const std::wstring shown : {L"l", L"ll"}) {
        SendMessageW(window->hwnd(), WM_TIMER, TIMER_AUTO_SEND, 0);
        EXPECT_TRUE(waitShown(shown)) << text(kInfoAreaId);
    }
    click(kAutoSendBoxId);
    EXPECT_FALSE(ticked(kAutoSendBoxId));
    EXPECT_EQ(window->timerPeriod(TIMER_AUTO_SEND), 0);
    EXPECT_TRUE(boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Lines, TerminalTest, ::testing::Values(Line::Simulated, Line::ComPort), LineName);

}  // namespace
}  // namespace quill::test
