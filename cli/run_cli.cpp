#include "cli/run_cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "cli/dtu_link.h"
#include "cli/platform.h"
#include "form/parameter_file.h"
#include "protocol/item_table.h"
#include "serial/port_discovery.h"

namespace quill::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kExitInterrupted = 130;
constexpr double kSessionConnectSeconds = kConnectTimeoutMs / 1000.0;
constexpr std::uint8_t kDtuIdType = 0x01;

struct Common {
    std::string port;
    std::string tracePath;
    double timeoutSeconds = kSessionConnectSeconds;
    bool timeoutGiven = false;
};

struct ReadOptions {
    bool json = false;
    std::string savePath;
};

struct WriteOptions {
    std::string file;
    bool noVerify = false;
};

struct ProvisionOptions {
    std::string file;
    int count = 0;  // 0: until interrupted
    std::string logPath;
};

// What one command needs around its link to the DTU.
struct Context {
    std::ostream& out;
    std::ostream& err;
    Console console;
    Clock::time_point start = Clock::now();
    std::ofstream traceFile;
    std::unique_ptr<Trace> trace;

    Context(std::ostream& out, std::ostream& err, bool terminal)
        : out(out), err(err), console(err, terminal) {}

    // False (and told) when the trace file cannot be written.
    bool openTrace(const std::string& path) {
        if (path.empty()) return true;
        traceFile.open(path, std::ios::out | std::ios::trunc);
        if (!traceFile) {
            console.message("错误：无法写入跟踪文件 " + path);
            return false;
        }
        trace = std::make_unique<Trace>(traceFile, start);
        return true;
    }
};

// The default waits as long as the session does and lets its timer decide;
// any other value is the command line's own limit.
std::optional<Clock::time_point> ConnectDeadline(const Common& common, Clock::time_point from) {
    if (!common.timeoutGiven || common.timeoutSeconds == kSessionConnectSeconds) return std::nullopt;
    return from +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(common.timeoutSeconds));
}

std::vector<std::string> Labels(const std::vector<std::uint8_t>& types) {
    std::vector<std::string> labels;
    for (const std::uint8_t type : types) labels.push_back(FieldLabel(type));
    return labels;
}

std::string Joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty()) text += separator;
        text += part;
    }
    return text;
}

// The exit code of a step that did not succeed, after saying why.
int Fail(Context& context, StepResult result, std::string_view what) {
    switch (result) {
        case StepResult::Done:
            return kExitDone;
        case StepResult::Failed:
        case StepResult::Refused:
        case StepResult::Differs:
            return kExitFailed;
        case StepResult::NotSent:
            return kExitUsage;
        case StepResult::NoDtu:
            context.console.message("错误：" + std::string(what));
            return kExitNoDtu;
        case StepResult::OpenFailed:
            return kExitPortLost;  // the session's box has said why
        case StepResult::Lost:
            context.console.message("错误：串口已断开，操作没有完成");
            return kExitPortLost;
        case StepResult::Interrupted:
            context.console.message("已中断");
            return kExitInterrupted;
    }
    return kExitFailed;
}

// "40", "0.5": the limit as it was given.
std::string SecondsText(double seconds) {
    std::ostringstream text;
    text << seconds;
    return text.str();
}

int ConnectOrFail(Context& context, DtuLink& link, const Common& common) {
    const StepResult connected = link.connect(ConnectDeadline(common, context.start), "等待DTU应答");
    if (connected == StepResult::Done) return kExitDone;
    return Fail(
        context, connected,
        SecondsText(common.timeoutSeconds) + " 秒内没有DTU应答：请检查接线、DTU电源，并让DTU进入配置状态");
}

// The fields a read gives a file: every one the answer carried, empty or not,
// so that the file is the DTU's whole set (a field a DTU holds empty, where
// the configure rules need a value, is then named when the file is loaded).
std::vector<const ParameterField*> FieldsRead(const std::vector<std::uint8_t>& types) {
    std::vector<const ParameterField*> fields;
    for (const ParameterField& field : ParameterFields())
        if (std::find(types.begin(), types.end(), field.item->type) != types.end()) fields.push_back(&field);
    return fields;
}

std::size_t TickedCount(const FormValues& values) {
    return static_cast<std::size_t>(
        std::count_if(ParameterFields().begin(), ParameterFields().end(),
                      [&](const ParameterField& field) { return values[field].ticked; }));
}

// A parameter file, or its problems told one a line and nullopt.
std::optional<FormValues> LoadFile(Context& context, const std::string& path) {
    ParameterFileLoad load = LoadParameterFile(path);
    // A file without fields would send an empty write: surely not what was meant.
    if (load.values && load.problems.empty() && TickedCount(*load.values) == 0)
        load.problems.push_back({"", "参数文件中没有任何参数（fields为空）"});
    if (load.values && load.problems.empty()) return std::move(load.values);
    context.console.message("参数文件有误，没有发送任何数据：" + path);
    for (const ParameterFileProblem& problem : load.problems)
        context.console.message(problem.label.empty() ? problem.message
                                                      : problem.label + ": " + problem.message);
    return std::nullopt;
}

// ---- read ---------------------------------------------------------------------------

// The folder a file is to be saved in exists: a save that cannot succeed is
// found before the DTU is asked for anything.
bool FolderExists(const std::string& path) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::absolute(path, error).parent_path();
    return !error && std::filesystem::is_directory(folder, error);
}

int RunRead(Context& context, const Common& common, const ReadOptions& options) {
    if (!options.savePath.empty() && !FolderExists(options.savePath)) {
        context.console.message("错误：无法保存到 " + options.savePath + "（文件夹不存在）");
        return kExitUsage;
    }
    if (!context.openTrace(common.tracePath)) return kExitUsage;
    DtuLink link(common.port, context.console, context.trace.get());
    if (const int code = ConnectOrFail(context, link, common); code != kExitDone) return code;
    const StepResult read = link.read();
    link.close();
    if (read == StepResult::Failed) {
        context.console.message("错误：读取参数失败（DTU的应答不完整或有误）");
        return kExitFailed;
    }
    if (read != StepResult::Done) return Fail(context, read, "DTU没有应答读取请求");

    const FormValues& values = link.host().form();
    const std::vector<std::uint8_t>& types = link.host().readTypes();
    const std::vector<const ParameterField*> fields = FieldsRead(types);
    if (options.json) {
        context.out << FormatParameterFile(values, fields);
    } else {
        for (const ParameterField& field : ParameterFields())
            if (std::find(types.begin(), types.end(), field.item->type) != types.end())
                context.out << field.accessibleLabel << '\t' << DisplayText(values, field) << '\n';
    }
    context.out.flush();
    // Saved after printing, so a save that fails still leaves what was read.
    if (!options.savePath.empty()) {
        if (const std::string problem = SaveParameterFile(options.savePath, values, fields);
            !problem.empty()) {
            context.console.message("错误：" + problem);
            return kExitUsage;
        }
        context.console.message("已保存 " + std::to_string(fields.size()) + " 个参数到 " + options.savePath);
    }
    return kExitDone;
}

// ---- write ----------------------------------------------------------------------------

// The result lines of a write that did not go through, on stdout. A
// difference shows the file's value and the one read back (the read-back
// fills the host's form).
void ReportUnwritten(Context& context, DtuLink& link, const FormValues& file, StepResult result) {
    if (result == StepResult::Refused) {
        context.out << "DTU拒绝配置\n";
        for (const std::string& label : Labels(link.session().unwrittenTypes()))
            context.out << "未写入\t" << label << '\n';
    } else if (result == StepResult::Differs && link.session().mismatchedTypes().empty()) {
        context.out << "回读失败：无法核对写入的参数\n";
    } else if (result == StepResult::Differs) {
        const std::vector<std::uint8_t>& types = link.session().mismatchedTypes();
        for (const std::uint8_t type : types)
            if (const ParameterField* field = FindFieldByType(type))
                context.out << "不一致\t" << field->accessibleLabel << "\t文件：" << DisplayText(file, *field)
                            << "\tDTU：" << DisplayText(link.host().form(), *field) << '\n';
        context.out << "回读校验失败：" << types.size() << " 个参数与文件不一致\n";
    }
    context.out.flush();
}

int RunWrite(Context& context, const Common& common, const WriteOptions& options) {
    const std::optional<FormValues> values = LoadFile(context, options.file);
    if (!values) return kExitUsage;
    if (!context.openTrace(common.tracePath)) return kExitUsage;
    DtuLink link(common.port, context.console, context.trace.get());
    if (const int code = ConnectOrFail(context, link, common); code != kExitDone) return code;
    const StepResult written = link.write(*values, !options.noVerify);
    link.close();
    if (written == StepResult::Done) {
        context.out << "写入成功：" << TickedCount(*values) << " 个参数"
                    << (options.noVerify ? "（未回读校验）" : "，回读校验一致") << '\n';
        return kExitDone;
    }
    ReportUnwritten(context, link, *values, written);
    if (written == StepResult::Failed) context.console.message("错误：回读失败（DTU的应答不完整或有误）");
    return Fail(context, written, "DTU没有应答配置请求");
}

// ---- provision ------------------------------------------------------------------------

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    char text[32] = {};
    if (const std::tm* utc = std::gmtime(&now)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
    return text;
}

struct UnitRecord {
    int unit = 0;
    std::string dtuId;
    std::string result;  // passed, refused, differs, read-failed, no-answer, lost, interrupted
    std::string shown;   // the result as the line on stdout says it
    std::vector<std::string> differing;
    long long milliseconds = 0;
    std::uint64_t bytesSent = 0;
    std::uint64_t bytesReceived = 0;
};

bool AppendLog(const std::string& path, const UnitRecord& record) {
    nlohmann::ordered_json line;
    line["time"] = UtcNow();
    line["unit"] = record.unit;
    line["dtuId"] = record.dtuId;
    line["result"] = record.result;
    line["differing"] = record.differing;
    line["ms"] = record.milliseconds;
    line["bytesSent"] = record.bytesSent;
    line["bytesReceived"] = record.bytesReceived;
    std::ofstream log(path, std::ios::out | std::ios::app);
    log << line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    return static_cast<bool>(log.flush());
}

UnitRecord ProvisionUnit(DtuLink& link, const FormValues& values, int unit, StepResult& ended) {
    UnitRecord record;
    record.unit = unit;
    const Clock::time_point began = Clock::now();
    const std::uint64_t sentBefore = link.host().bytesSent();
    const std::uint64_t receivedBefore = link.host().bytesReceived();

    // The unit's own id first: the file may hold no id, or one for every unit.
    link.host().setForm(FormValues());
    ended = link.read();
    if (ended == StepResult::Done) {
        if (const ParameterField* idField = FindFieldByType(kDtuIdType)) {
            const auto& types = link.host().readTypes();
            if (std::find(types.begin(), types.end(), kDtuIdType) != types.end())
                record.dtuId = DisplayText(link.host().form(), *idField);
        }
        ended = link.write(values, true);
    }
    record.milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - began).count();
    record.bytesSent = link.host().bytesSent() - sentBefore;
    record.bytesReceived = link.host().bytesReceived() - receivedBefore;
    switch (ended) {
        case StepResult::Done:
            record.result = "passed";
            record.shown = "通过";
            break;
        case StepResult::Differs:
            record.result = "differs";
            record.differing = Labels(link.session().mismatchedTypes());
            record.shown = "不一致：" + Joined(record.differing, "、");
            break;
        case StepResult::Refused:
            record.result = "refused";
            record.shown = "DTU拒绝配置";
            break;
        case StepResult::Failed:
            record.result = "read-failed";
            record.shown = "读取失败";
            break;
        case StepResult::NoDtu:
            record.result = "no-answer";
            record.shown = "DTU没有应答";
            break;
        case StepResult::Lost:
        case StepResult::OpenFailed:
            record.result = "lost";
            record.shown = "串口已断开";
            break;
        case StepResult::Interrupted:
        case StepResult::NotSent:
            record.result = "interrupted";
            record.shown = "已中断";
            break;
    }
    return record;
}

int RunProvision(Context& context, const Common& common, const ProvisionOptions& options) {
    const std::optional<FormValues> values = LoadFile(context, options.file);
    if (!values) return kExitUsage;
    if (!options.logPath.empty()) {
        std::ofstream log(options.logPath, std::ios::out | std::ios::app);
        if (!log) {
            context.console.message("错误：无法写入记录文件 " + options.logPath);
            return kExitUsage;
        }
    }
    if (!context.openTrace(common.tracePath)) return kExitUsage;
    DtuLink link(common.port, context.console, context.trace.get());
    int failures = 0;
    for (int unit = 1; options.count == 0 || unit <= options.count; ++unit) {
        // Without --timeout a unit is awaited for as long as it takes.
        const Clock::time_point deadline =
            common.timeoutGiven ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(common.timeoutSeconds))
                                : Clock::time_point::max();
        const StepResult connected =
            link.connect(deadline, "等待第 " + std::to_string(unit) + " 台DTU", false);
        if (connected == StepResult::Interrupted) {
            context.console.message("已中断：完成 " + std::to_string(unit - 1) + " 台");
            return failures == 0 ? kExitDone : kExitFailed;
        }
        if (connected != StepResult::Done)
            return Fail(context, connected, SecondsText(common.timeoutSeconds) + " 秒内没有DTU应答");

        StepResult ended = StepResult::Done;
        const UnitRecord record = ProvisionUnit(link, *values, unit, ended);
        context.out << unit << '\t' << (record.dtuId.empty() ? "-" : record.dtuId) << '\t' << record.shown
                    << '\t' << record.milliseconds << " ms\n";
        context.out.flush();
        if (!options.logPath.empty() && !AppendLog(options.logPath, record))
            context.console.message("错误：无法写入记录文件 " + options.logPath);
        // The unit's line and record come first: it may be half written.
        if (ended == StepResult::Lost || ended == StepResult::OpenFailed) return Fail(context, ended, {});
        if (ended == StepResult::Interrupted) return kExitInterrupted;
        if (ended != StepResult::Done) ++failures;
        if (options.count != 0 && unit == options.count) break;

        context.console.message("第 " + std::to_string(unit) + " 台完成，请换下一台DTU");
        const StepResult quiet = link.waitUntilQuiet();
        if (quiet == StepResult::Interrupted) {
            context.console.message("已中断：完成 " + std::to_string(unit) + " 台");
            return failures == 0 ? kExitDone : kExitFailed;
        }
        if (quiet != StepResult::Done) return Fail(context, quiet, {});
    }
    link.close();
    return failures == 0 ? kExitDone : kExitFailed;
}

// ---- ports ----------------------------------------------------------------------------

int RunPorts(Context& context, const std::string& tracePath) {
    if (!context.openTrace(tracePath)) return kExitUsage;
    const std::vector<FoundPort> ports = quill::FindSerialPorts();
    if (context.trace) context.trace->note("found " + std::to_string(ports.size()) + " serial ports");
    if (ports.empty()) context.console.message("没有找到串口");
    for (const FoundPort& port : ports)
        context.out << port.path << (port.name.empty() ? "" : "\t" + port.name) << '\n';
    context.out.flush();
    return kExitDone;
}

// ---- Arguments ------------------------------------------------------------------------

// The options every command that talks to a DTU has; returns its --timeout.
CLI::Option* AddCommon(CLI::App& command, Common& common) {
    command.add_option("-p,--port", common.port, "serial port, e.g. /dev/ttyUSB0")->required();
    command.add_option("--trace", common.tracePath, "write every byte and decoded frame to this file");
    return command
        .add_option("--timeout", common.timeoutSeconds,
                    "seconds to wait for the DTU to announce itself (default 40)")
        ->check(CLI::PositiveNumber);
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal) {
    CLI::App app{"Reads and writes the parameters of a GPRS DTU over a serial line (57600 bit/s 8N1).",
                 "quillmere-cli"};
    app.set_version_flag("--version", "quillmere-cli " QUILLMERE_VERSION);
    app.require_subcommand(1);
    app.footer(
        "Examples:\n"
        "  quillmere-cli ports\n"
        "  quillmere-cli read --port /dev/ttyUSB0 --json --save station-7.json\n"
        "  quillmere-cli write --port /dev/ttyUSB0 station-7.json\n"
        "  quillmere-cli provision --port /dev/ttyUSB0 fleet.json --count 20 --log fleet.log\n"
        "Every command that talks to a DTU takes --trace FILE (bytes with times, frames decoded);\n"
        "COMMAND --help tells more.\n"
        "\n"
        "Exit codes: 0 done, 1 the DTU refused or the read-back differs, 2 bad arguments or parameter file\n"
        "(nothing sent), 3 no DTU announced itself in time, 4 the port could not be opened or was lost,\n"
        "130 interrupted (provision between units: 0, or 1 if a unit failed).");

    Common common;
    ReadOptions readOptions;
    WriteOptions writeOptions;
    ProvisionOptions provisionOptions;
    std::vector<CLI::Option*> timeouts;

    CLI::App* ports = app.add_subcommand("ports", "List the serial ports of this machine");
    ports->add_option("--trace", common.tracePath, "write what was found to this file");
    ports->footer("Example:\n  quillmere-cli ports");

    CLI::App* read = app.add_subcommand("read", "Read the DTU's parameters and print them");
    timeouts.push_back(AddCommon(*read, common));
    read->add_flag("--json", readOptions.json,
                   "print a parameter file (JSON) instead of label<TAB>value lines");
    read->add_option("--save", readOptions.savePath, "also save the parameters as a parameter file");
    read->footer("Example:\n  quillmere-cli read --port /dev/ttyUSB0 --save station-7.json");

    CLI::App* write =
        app.add_subcommand("write", "Write a parameter file's fields to the DTU and verify them");
    timeouts.push_back(AddCommon(*write, common));
    write->add_option("file", writeOptions.file, "parameter file (JSON)")->required();
    write->add_flag("--no-verify", writeOptions.noVerify, "do not read the parameters back to compare");
    write->footer("Example:\n  quillmere-cli write --port /dev/ttyUSB0 station-7.json");

    CLI::App* provision =
        app.add_subcommand("provision", "Write and verify one parameter file on unit after unit");
    timeouts.push_back(AddCommon(*provision, common));
    provision->add_option("file", provisionOptions.file, "parameter file (JSON)")->required();
    provision
        ->add_option("--count", provisionOptions.count, "stop after this many units (default: until Ctrl-C)")
        ->check(CLI::PositiveNumber);
    provision->add_option("--log", provisionOptions.logPath, "append one JSON line per unit to this file");
    provision->footer(
        "Each unit: wait for it to announce itself, read its DTU id, write the file, read back and compare,\n"
        "print one line (unit, DTU id, result, time), then wait until it is taken off the line.\n"
        "Example:\n  quillmere-cli provision --port /dev/ttyUSB0 fleet.json --count 20 --log fleet.log");

    std::vector<const char*> argv{"quillmere-cli"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    // The argument library reports through exceptions; they end here.
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error, out, err);
        return code == 0 ? kExitDone : kExitUsage;
    }
    common.timeoutGiven = std::any_of(timeouts.begin(), timeouts.end(),
                                      [](const CLI::Option* option) { return option->count() > 0; });

    ClearInterrupt();
    Context context(out, err, errIsTerminal);
    int code = kExitDone;
    if (ports->parsed())
        code = RunPorts(context, common.tracePath);
    else if (read->parsed())
        code = RunRead(context, common, readOptions);
    else if (write->parsed())
        code = RunWrite(context, common, writeOptions);
    else
        code = RunProvision(context, common, provisionOptions);
    ClearInterrupt();  // an interrupt belongs to the command it stopped
    return code;
}

}  // namespace quill::cli
