// Texts of the window shell that every windowed front end shows the same way:
// the about entry, the help box, the interval prompt, the port list's entry
// for the built-in simulated DTU, the box for a port that cannot be opened,
// the menu entries for parameter files and the history of writes. UTF-8; each
// front end converts them to its own string type.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace quill {

// The system command of the about entry; the low four bits are the platform's.
inline constexpr unsigned ID_SYS_ABOUT = 0x10;
// The about entry's text (string 101).
inline constexpr std::string_view kAboutMenuText = "关于 Quillmere(&A)...";
inline constexpr std::string_view kHelpCaption = "帮  助";
inline constexpr std::string_view kHelpText =
    "操作步骤:\r\n"
    "  1、选择好DTU连接到的电脑上的串口，给DTU上电。\r\n"
    "  2、然后点打开串口按钮，等待DTU连接上来。\r\n"
    "  3、DTU连接上后，上面的信息框中会有提示。\r\n"
    "  4、点读取参数可以读取DTU当前的参数。\r\n"
    "  5、如果要配置某一个参数，先选中相应参数前的选择框，然后输入正确的参数，再点击配置参数。";
inline constexpr std::string_view kUnsignedPrompt = "请输入一个无符号整数。";

// The port list's entry that searches every candidate port for the DTU.
inline constexpr std::string_view kAutoEntryText = "自动查找DTU";
// The port list's last entry, and the name the status line gives it.
inline constexpr std::string_view kSimulatorEntryText = "模拟DTU（无需硬件）";
inline constexpr std::string_view kSimulatorName = "模拟DTU";
inline constexpr std::string_view kOpenFailedText = "没有发现此串口或被占用";
// What to do when the system refuses the port for lack of permission.
inline constexpr std::string_view kNoPermissionText =
    "没有访问权限：请把当前用户加入 dialout 组（sudo usermod -aG dialout $USER），然后重新登录。";
// What to do when another program holds the port.
inline constexpr std::string_view kPortBusyText = "串口已被其他程序占用。";

// The window's menu entries for fleet work, and what they report.
inline constexpr std::string_view kSaveFileText = "保存参数文件…";
inline constexpr std::string_view kLoadFileText = "载入参数文件…";
inline constexpr std::string_view kVerifyText = "配置后回读校验";
inline constexpr std::string_view kTerminalText = "串口调试（演示状态）";
inline constexpr std::string_view kFileFilter = "参数文件 (*.json)";
inline constexpr std::string_view kSavedPrefix = "<-参数文件已保存：";
inline constexpr std::string_view kLoadedPrefix = "<-参数文件已载入：";
inline constexpr std::string_view kNothingToSave = "没有可保存的参数：请先读取参数或填写参数";
inline constexpr std::string_view kCheckFileText = "与参数文件核对…";
inline constexpr std::string_view kHistoryText = "写入历史记录…";

// The history dialog: its caption, its columns (title and width in dialog
// units, so both windows keep the same proportions), its button, and what
// stands below the table when there is nothing to list.
inline constexpr std::string_view kHistoryCaption = "写入历史记录";
struct HistoryColumn {
    std::string_view title;
    int width;
};
inline constexpr std::size_t kHistoryColumnCount = 7;
inline constexpr std::array<HistoryColumn, kHistoryColumnCount> kHistoryColumns{{
    {"时间", 116},
    {"前端", 40},
    {"串口", 64},
    {"DTU编号", 58},
    {"结果", 56},
    {"回读核对", 50},
    {"参数", 150},
}};
inline constexpr std::string_view kHistoryCloseText = "关闭";
inline constexpr std::string_view kNoHistoryText = "没有写入记录";

}  // namespace quill
