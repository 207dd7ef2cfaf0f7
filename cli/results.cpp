#include "cli/results.h"

#include <algorithm>

#include "cli/run_cli.h"

namespace quill::cli {
namespace {

using enum StepResult;

constexpr ResultRow kRows[] = {
    {Done, kExitDone, "passed", "通过", "",
     "done (provision: every unit passed, also when interrupted between units)"},
    {Refused, kExitFailed, "refused", "DTU拒绝配置", "", "the DTU refused the write"},
    {Differs, kExitFailed, "differs", "不一致：{}", "",
     "the read-back differs from the file (check: the unit differs from it)"},
    {NotReadBack, kExitFailed, "read-back-failed", "回读失败", "",
     "the read-back after the write failed: nothing was compared"},
    {Failed, kExitFailed, "read-failed", "读取失败", "错误：读取参数失败（DTU的应答不完整或有误）",
     "the DTU's read answer could not be taken"},
    {UnitsFailed, kExitFailed, "", "", "",
     "provision: a unit did not pass (on any port), also when interrupted between units"},
    {BadArguments, kExitUsage, "", "", "", "bad arguments (nothing sent)"},
    {BadFile, kExitUsage, "", "", "参数文件有误，没有发送任何数据：{}", "a bad parameter file (nothing sent)"},
    {FileNotSendable, kExitUsage, "", "", "参数文件有误：{}", "check: the file makes no request (nothing sent)"},
    {NotSent, kExitUsage, "not-sent", "没有发送", "",
     "the session refused the request, its message says why (nothing sent)"},
    {NoSaveFolder, kExitUsage, "", "", "错误：无法保存到 {}（文件夹不存在）",
     "read --save: the folder does not exist (nothing sent)"},
    {TraceNotWritable, kExitUsage, "", "", "错误：无法写入跟踪文件 {}",
     "the --trace file cannot be written (nothing sent)"},
    {LogNotWritable, kExitUsage, "", "", "错误：无法写入记录文件 {}",
     "provision --log: the file cannot be written (nothing sent)"},
    {NotSaved, kExitUsage, "", "", "错误：{}", "read --save: the file could not be written after printing"},
    {HistoryUnreadable, kExitUsage, "", "", "错误：无法读取历史记录文件 {}", "history: the file cannot be read"},
    {NoDtu, kExitNoDtu, "no-answer", "DTU没有应答", "错误：{}", "no DTU announced itself (or answered) in time"},
    {OpenFailed, kExitPortLost, "lost", "串口已断开", "",
     "the port could not be opened (provision on several ports: none could)"},
    {Lost, kExitPortLost, "lost", "串口已断开", "错误：串口已断开，操作没有完成", "the port was lost"},
    {NoPortToTry, kExitPortLost, "", "", "错误：没有找到可以尝试的串口", "--port auto: no port to try"},
    {Interrupted, kExitInterrupted, "interrupted", "已中断", "已中断", "interrupted"},
};

}  // namespace

std::span<const ResultRow> ResultRows() {
    return kRows;
}

const ResultRow& RowOf(StepResult result) {
    // Every value has its row (the tests hold the table to that).
    return *std::find_if(std::begin(kRows), std::end(kRows),
                         [result](const ResultRow& row) { return row.result == result; });
}

std::string Filled(std::string_view text, std::string_view detail) {
    std::string filled(text);
    if (const std::size_t slot = filled.find("{}"); slot != std::string::npos) filled.replace(slot, 2, detail);
    return filled;
}

int Exit(Console& console, StepResult result, std::string_view detail) {
    const ResultRow& row = RowOf(result);
    if (!row.message.empty()) console.message(Filled(row.message, detail));
    return row.code;
}

std::string ExitCodesHelp() {
    std::string text = "Exit codes:";
    for (const ResultRow& row : kRows) {
        std::string code = std::to_string(row.code);
        code.resize(std::max<std::size_t>(code.size(), 3), ' ');
        text += "\n  " + code + "  " + std::string(row.meaning);
    }
    return text;
}

}  // namespace quill::cli
