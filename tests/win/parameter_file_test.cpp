// The window's fleet entries: parameter files saved and loaded through the
// context menu's commands and by a dropped file, verification after a write,
// the demo-state terminal shown on request.
#include <windows.h>
// After <windows.h>, whose types it uses.
#include <shlobj.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "form/parameter_fields.h"
#include "protocol/text_codec.h"
#include "window_fixture.h"

namespace quill::test {
namespace {

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
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].text, W("保存参数文件…"));
    EXPECT_EQ(entries[1].text, W("载入参数文件…"));
    EXPECT_EQ(entries[2].text, W("配置后回读校验"));
    EXPECT_EQ(entries[3].text, W("串口调试（演示状态）"));
    EXPECT_EQ(entries[4].command, 0);  // separator
    EXPECT_EQ(entries[5].text, W(kAboutMenuText));
    EXPECT_FALSE(entries[2].checked);
    EXPECT_FALSE(entries[3].checked);
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
    EXPECT_TRUE(window->contextMenuEntries()[2].checked);
    command(kMenuVerify);
    EXPECT_FALSE(window->session.verifyAfterWrite());

    command(kMenuTerminal);
    EXPECT_TRUE(IsWindowVisible(item(kConfigDoneBoxId)));
    for (const int id : kTerminalControls) EXPECT_TRUE(IsWindowVisible(item(id))) << id;
    EXPECT_TRUE(window->contextMenuEntries()[3].checked);
    command(kMenuTerminal);
    EXPECT_FALSE(IsWindowVisible(item(kConfigDoneBoxId)));
    for (const int id : kTerminalControls) EXPECT_FALSE(IsWindowVisible(item(id))) << id;
}

}  // namespace
}  // namespace quill::test
