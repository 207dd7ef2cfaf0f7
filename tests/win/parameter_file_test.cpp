// The window's fleet entries: parameter files saved and loaded through the
// context menu's commands and by a dropped file, verification after a write,
// the demo-state terminal shown on request, the check against a file and the
// history of writes.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <commctrl.h>
#include <shlobj.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "form/parameter_fields.h"
#include "form/write_history.h"
#include "protocol/text_codec.h"
#include "window_fixture.h"

namespace quill::test {
namespace {

using win::kMenuCheckFile;
using win::kMenuHistory;
using win::kMenuLoadFile;
using win::kMenuSaveFile;
using win::kMenuTerminal;
using win::kMenuVerify;

// A file name in the temporary folder, removed again at the end of the test.
class TempFile {
  public:
    explicit TempFile(const wchar_t* name) {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        path = std::wstring(folder) + name + std::to_wstring(GetCurrentProcessId());
    }
    ~TempFile() {
        DeleteFileW(path.c_str());
        DeleteFileW((path + L".json").c_str());
    }
    std::wstring path;
};

class FleetTest : public WindowTest {
  protected:
    void command(int id) { SendMessageW(window->hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }
    // The dialog's answer for the next file dialog; counts the dialogs asked for.
    void answer(std::wstring path) {
        window->fileDialogHook = [this, path](bool save) {
            fileDialogs.push_back(save);
            return path;
        };
    }
    std::vector<bool> fileDialogs;
};

TEST_F(FleetTest, TheContextMenuHoldsTheFleetEntriesThenTheAboutEntryLast) {
    const auto entries = window->contextMenuEntries();
    ASSERT_EQ(entries.size(), 8u);
    EXPECT_EQ(entries[0].text, W("保存参数文件…"));
    EXPECT_EQ(entries[1].text, W("载入参数文件…"));
    EXPECT_EQ(entries[2].text, W("与参数文件核对…"));
    EXPECT_EQ(entries[3].text, W("写入历史记录…"));
    EXPECT_EQ(entries[4].text, W("配置后回读校验"));
    EXPECT_EQ(entries[5].text, W("串口调试（演示状态）"));
    EXPECT_EQ(entries[6].command, 0);  // separator
    EXPECT_EQ(entries[7].text, W(kAboutMenuText));
    EXPECT_FALSE(entries[4].checked);
    EXPECT_FALSE(entries[5].checked);
    EXPECT_TRUE(entries[3].enabled);
}

TEST_F(FleetTest, SavedTickedFieldsLoadIntoAnotherWindowExactlyAsTheyWere) {
    TempFile file(L"quillmere-fleet");
    click(1023);
    setText(1044, W("城西开关站"));
    click(1094);
    setText(1095, W("1号主变"));
    setText(1050, L"10086");  // not ticked: not saved
    answer(file.path);
    command(kMenuSaveFile);
    ASSERT_EQ(fileDialogs, std::vector<bool>{true});
    ASSERT_TRUE(boxes.empty()) << Narrow(boxes.front().text);
    EXPECT_EQ(count("<-参数文件已保存：" + Narrow(file.path) + ".json\n\r\n\r"), 1);

    // A second window, with another field ticked that the file does not name.
    window.reset();
    SetUp();
    click(1049);
    answer(file.path + L".json");
    command(kMenuLoadFile);
    ASSERT_TRUE(boxes.empty()) << Narrow(boxes.front().text);
    for (const ParameterField& field : ParameterFields()) {
        const bool inFile = field.checkBoxId() == 1023 || field.checkBoxId() == 1094;
        EXPECT_EQ(ticked(field.checkBoxId()), inFile) << field.name();
        for (const int id : field.valueIds()) EXPECT_EQ(enabled(id), inFile) << field.name();
    }
    EXPECT_EQ(text(1044), W("城西开关站"));
    EXPECT_EQ(text(1095), W("1号主变"));
    EXPECT_EQ(window->member(1044), Utf8ToGbk("城西开关站"));
    EXPECT_EQ(text(1050), L"");
}

TEST_F(FleetTest, AnEmptyFormHasNothingToSaveAndAsksForNoFile) {
    answer(L"unused");
    command(kMenuSaveFile);
    EXPECT_TRUE(fileDialogs.empty());
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, W("没有可保存的参数：请先读取参数或填写参数"));
    EXPECT_EQ(boxes[0].caption, W("错误提示"));
}

TEST_F(FleetTest, AFileWithProblemsLoadsNothingAndNamesThemInOneBox) {
    TempFile file(L"quillmere-bad");
    {
        std::ofstream out(std::filesystem::path(file.path), std::ios::binary);
        out << R"({"format": "quillmere-parameters", "version": 1,)"
               R"( "fields": {"stationName": "", "superUserPassword": "12"}})";
    }
    click(1049);
    answer(file.path);
    command(kMenuLoadFile);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find(W("站名")), std::wstring::npos);
    EXPECT_NE(boxes[0].text.find(W("超级用户密码")), std::wstring::npos);
    EXPECT_TRUE(ticked(1049));  // the form is as it was
    EXPECT_FALSE(ticked(1023));
}

TEST_F(FleetTest, AParameterFileDroppedOnTheWindowIsLoaded) {
    TempFile file(L"quillmere-drop");
    const std::wstring path = file.path + L".json";
    {
        std::ofstream out(std::filesystem::path(path), std::ios::binary);
        out << R"({"format": "quillmere-parameters", "version": 1, "fields": {"smsCentreNumber": "10086"}})";
    }
    // What the shell hands over for one dropped file: DROPFILES, then the path twice zero-ended.
    const std::size_t bytes = sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), path.c_str(),
                path.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    SendMessageW(window->hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);  // the window frees it
    EXPECT_TRUE(ticked(1049));
    EXPECT_EQ(text(1050), L"10086");
}

TEST_F(FleetTest, VerificationAndTheTerminalAreSwitchedOnAndOffFromTheMenu) {
    command(kMenuVerify);
    EXPECT_TRUE(window->session.verifyAfterWrite());
    EXPECT_TRUE(window->contextMenuEntries()[4].checked);
    command(kMenuVerify);
    EXPECT_FALSE(window->session.verifyAfterWrite());

    command(kMenuTerminal);
    EXPECT_TRUE(IsWindowVisible(item(kConfigDoneBoxId)));
    for (const int id : kTerminalControls) EXPECT_TRUE(IsWindowVisible(item(id))) << id;
    EXPECT_TRUE(window->contextMenuEntries()[5].checked);
    command(kMenuTerminal);
    EXPECT_FALSE(IsWindowVisible(item(kConfigDoneBoxId)));
    for (const int id : kTerminalControls) EXPECT_FALSE(IsWindowVisible(item(id))) << id;
}

// The check entry is offered while a read is, and a chosen file reaches the
// session's check against the built-in simulated DTU.
TEST_F(FleetTest, TheCheckEntryFollowsTheReadButtonAndReportsTheVerdict) {
    TempFile file(L"quillmere-check");
    {
        std::ofstream out(std::filesystem::path(file.path), std::ios::binary);
        out << R"({"format": "quillmere-parameters", "version": 1,)"
               R"( "fields": {"stationName": "城西开关站", "smsCentreNumber": "+8613800100500"}})";
    }
    EXPECT_FALSE(window->contextMenuEntries()[2].enabled);
    choose(kPortListId, window->simulatorEntry());
    click(kOpenButtonId);
    window->OnTimerTick(TIMER_DTU_POLL);
    ASSERT_TRUE(PumpUntil([&] { return window->session.dtuConnected(); }));
    EXPECT_TRUE(window->contextMenuEntries()[2].enabled);
    answer(file.path);
    command(kMenuCheckFile);
    ASSERT_TRUE(waitCount("<-核对结果：1项参数与文件不一致！\n\r\n\r")) << Narrow(text(kInfoAreaId));
    EXPECT_EQ(count("<-核对不一致：站名\n\r\n\r"), 1);
    EXPECT_FALSE(ticked(1023));  // the form is as it was
    click(kCloseButtonId);
    EXPECT_FALSE(window->contextMenuEntries()[2].enabled);
}

// The history entry opens the real dialog: its list view holds the file's
// records, newest first, under the column titles, and its button closes it.
TEST_F(FleetTest, TheHistoryEntryListsTheRecordsNewestFirst) {
    wchar_t folder[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    const std::wstring appData =
        std::wstring(folder) + L"quillmere-history-" + std::to_wstring(GetCurrentProcessId());
    wchar_t kept[MAX_PATH] = L"";
    const DWORD keptLength = GetEnvironmentVariableW(L"APPDATA", kept, MAX_PATH);
    SetEnvironmentVariableW(L"APPDATA", appData.c_str());
    HistoryRecord record{"2026-12-09T08:00:00+08:00",
                         "window",
                         "COM3",
                         "13912345678",
                         {{"站名", "城东变电站"}},
                         "written",
                         "passed",
                         {},
                         {}};
    ASSERT_EQ(AppendHistoryLine(DefaultHistoryPath(), HistoryLine(record)), "");
    record.time = "2026-12-10T09:30:00+08:00";
    record.verdict = "refused";
    ASSERT_EQ(AppendHistoryLine(DefaultHistoryPath(), HistoryLine(record)), "");

    std::vector<std::wstring> titles, times;
    bool closed = false;
    window->modalHook = nullptr;  // the dialog is shown
    window->dialogShownHook = [&](HWND dialog) {
        const HWND list = GetDlgItem(dialog, win::kHistoryListId);
        ASSERT_NE(list, nullptr);
        wchar_t buffer[128];
        for (int column = 0; column < static_cast<int>(kHistoryColumnCount); ++column) {
            LVCOLUMNW def{};
            def.mask = LVCF_TEXT;
            def.pszText = buffer;
            def.cchTextMax = 128;
            if (SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&def)))
                titles.emplace_back(buffer);
        }
        const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < rows; ++row) {
            LVITEMW item{};
            item.pszText = buffer;
            item.cchTextMax = 128;
            SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
            times.emplace_back(buffer);
        }
        SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        closed = true;
    };
    command(kMenuHistory);
    SetEnvironmentVariableW(L"APPDATA", keptLength > 0 ? kept : nullptr);
    std::filesystem::remove_all(std::filesystem::path(appData));
    EXPECT_TRUE(closed);
    EXPECT_EQ(titles, (std::vector<std::wstring>{W("时间"), W("前端"), W("串口"), W("DTU编号"), W("结果"),
                                                 W("回读核对"), W("参数")}));
    EXPECT_EQ(times, (std::vector<std::wstring>{L"2026-12-10 09:30:00+08:00", L"2026-12-09 08:00:00+08:00"}));
}

}  // namespace
}  // namespace quill::test
