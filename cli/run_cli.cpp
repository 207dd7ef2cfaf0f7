#include "cli/run_cli.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <sstream>

#include "cli/platform.h"
#include "cli/port_provisioner.h"
#include "cli/results.h"
#include "form/file_access.h"
#include "form/form_values.h"
#include "form/parameter_file.h"
#include "form/write_history.h"
#include "protocol/item_table.h"
#include "protocol/write_check.h"
#include "serial/port_discovery.h"
#include "serial/search_candidates.h"

namespace quill::cli {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kSessionConnectSeconds = kConnectTimeoutMs / 1000.0;

struct Common {
    std::string port;
    std::vector<std::string> ports;  // provision: one session each
    std::string tracePath;
    double timeoutSeconds = kSessionConnectSeconds;
    bool timeoutGiven = false;
    bool showSecrets = false;
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

struct CheckOptions {
    std::string file;
    bool json = false;
};

struct HistoryOptions {
    std::string dtuId;
    std::string since;
    bool json = false;
    bool csv = false;
};

// What one command needs around its unit.
struct Context {
    std::ostream& out;
    std::ostream& err;
    Console console;
    Clock::time_point start = Clock::now();
    std::ofstream traceFile;
    std::unique_ptr<Trace> trace;
    WriteHistory history;

    Context(std::ostream& out, std::ostream& err, bool terminal)
        : out(out), err(err), console(err, terminal) {}

    // False when the trace file cannot be written. A new trace is its
    // owner's only: it holds the unit's values.
    bool openTrace(const std::string& path, bool showSecrets) {
        if (path.empty()) return true;
        if (CreateOwnerOnlyFile(path).empty()) traceFile.open(path, std::ios::out | std::ios::trunc);
        if (!traceFile.is_open()) return false;
        trace = std::make_unique<Trace>(traceFile, start, showSecrets);
        return true;
    }

    // The command ends so: the table's message, and its code.
    int exit(StepResult result, std::string_view detail = {}) { return Exit(console, result, detail); }
};

// The default waits as long as the session does and lets its timer decide;
// any other value is the command line's own limit.
std::optional<Clock::time_point> ConnectDeadline(const Common& common, Clock::time_point from) {
    if (!common.timeoutGiven || common.timeoutSeconds == kSessionConnectSeconds) return std::nullopt;
    return from +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(common.timeoutSeconds));
}

// "40", "0.5": the limit as it was given.
std::string SecondsText(double seconds) {
    std::ostringstream text;
    text << seconds;
    return text.str();
}

// One command's one unit on its own loop: read, write and check run the
// provisioner's steps for it, as provision does for unit after unit.
struct OneUnit {
    EventLoop loop;  // first: it outlives the session on it
    PortProvisioner unit;

    OneUnit(Context& context, const Common& common, ProvisionSettings settings)
        : unit(loop, common.port, settings, context.console, context.trace.get(), {}) {}

    static ProvisionSettings Steps(Context& context, const Common& common) {
        return SingleUnit(ConnectDeadline(common, context.start), SecondsText(common.timeoutSeconds));
    }
    // Waits for the DTU and takes the steps; true once they succeeded, else
    // the failure has been told (code()). The port is closed either way.
    bool run() {
        PortProvisioner* const ports[] = {&unit};
        RunProvisioners(loop, ports);
        unit.close();
        return unit.result() == StepResult::Done;
    }
    ConsoleHost& host() { return unit.host(); }
    int code() const { return unit.code(); }
};

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

// A parameter file, or nullopt and its path and problems one a line.
std::optional<FormValues> LoadFile(const std::string& path, std::string& problems) {
    ParameterFileLoad load = LoadParameterFile(path);
    // A file without fields would send an empty write: surely not what was meant.
    if (load.values && load.problems.empty() && TickedCount(*load.values) == 0)
        load.problems.push_back({"", "参数文件中没有任何参数（fields为空）"});
    if (load.values && load.problems.empty()) return std::move(load.values);
    problems = path;
    for (const ParameterFileProblem& problem : load.problems)
        problems += "\n" + (problem.label.empty() ? problem.message : problem.label + ": " + problem.message);
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

// The steps of read and check: the DTU's whole set into the unit's form.
ProvisionSettings ReadSteps(Context& context, const Common& common) {
    ProvisionSettings steps = OneUnit::Steps(context, common);
    steps.write = false;
    return steps;
}

int RunRead(Context& context, Common common, const ReadOptions& options) {
    if (!options.savePath.empty() && !FolderExists(options.savePath))
        return context.exit(StepResult::NoSaveFolder, options.savePath);
    if (!context.openTrace(common.tracePath, common.showSecrets))
        return context.exit(StepResult::TraceNotWritable, common.tracePath);
    OneUnit link(context, common, ReadSteps(context, common));
    if (!link.run()) return link.code();

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
        if (const std::string problem = SaveParameterFile(options.savePath, values, fields); !problem.empty())
            return context.exit(StepResult::NotSaved, problem);
        context.console.message("已保存 " + std::to_string(fields.size()) + " 个参数到 " + options.savePath);
    }
    return context.exit(StepResult::Done);
}

// ---- write ----------------------------------------------------------------------------

// A value as the output may show it: a password only when asked for.
std::string Shown(const FormValues& values, const ParameterField& field, bool showSecrets) {
    if (!showSecrets && IsSecret(field.item->type)) return std::string(kSecretValue);
    return DisplayText(values, field);
}

// The result lines of a write that did not go through, on stdout. A
// difference shows the file's value and the one read back (the read-back
// fills the host's form).
void ReportUnwritten(Context& context, ConsoleHost& link, const FormValues& file, StepResult result,
                     bool showSecrets) {
    if (result == StepResult::Refused) {
        context.out << RowOf(result).shown << '\n';
        for (const std::string& label : Labels(link.session().unwrittenTypes()))
            context.out << "未写入\t" << label << '\n';
    } else if (result == StepResult::NotReadBack) {
        context.out << "回读失败：无法核对写入的参数\n";
    } else if (result == StepResult::Differs) {
        const std::vector<std::uint8_t>& types = link.session().mismatchedTypes();
        for (const std::uint8_t type : types)
            if (const ParameterField* field = FindFieldByType(type))
                context.out << "不一致\t" << field->accessibleLabel << "\t文件："
                            << Shown(file, *field, showSecrets) << "\tDTU："
                            << Shown(link.form(), *field, showSecrets) << '\n';
        context.out << "回读校验失败：" << types.size() << " 个参数与文件不一致\n";
    }
    context.out.flush();
}

int RunWrite(Context& context, Common common, const WriteOptions& options) {
    std::string problems;
    const std::optional<FormValues> values = LoadFile(options.file, problems);
    if (!values) return context.exit(StepResult::BadFile, problems);
    if (!context.openTrace(common.tracePath, common.showSecrets))
        return context.exit(StepResult::TraceNotWritable, common.tracePath);
    ProvisionSettings steps = OneUnit::Steps(context, common);
    steps.read = false;
    steps.values = *values;
    steps.verify = !options.noVerify;
    OneUnit link(context, common, std::move(steps));
    link.host().recordWritesTo(&context.history, "write", common.showSecrets);
    if (link.run()) {
        context.out << "写入成功：" << TickedCount(*values) << " 个参数"
                    << (options.noVerify ? "（未回读校验）" : "，回读校验一致") << '\n';
        return context.exit(StepResult::Done);
    }
    ReportUnwritten(context, link.host(), *values, link.unit.result(), common.showSecrets);
    return link.code();
}

// ---- provision ------------------------------------------------------------------------

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    char text[32] = {};
    if (const std::tm* utc = std::gmtime(&now)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", utc);
    return text;
}

bool AppendLog(const std::string& path, const UnitRecord& record) {
    nlohmann::ordered_json line;
    line["time"] = UtcNow();
    line["port"] = record.port;
    line["unit"] = record.unit;
    line["dtuId"] = record.dtuId;
    line["result"] = record.result;
    line["differing"] = record.differing;
    line["unwritten"] = record.unwritten;
    line["ms"] = record.milliseconds;
    line["bytesSent"] = record.bytesSent;
    line["bytesReceived"] = record.bytesReceived;
    if (!CreateOwnerOnlyFile(path).empty()) return false;
    std::ofstream log(path, std::ios::out | std::ios::app);
    log << line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    return static_cast<bool>(log.flush());
}

// A unit's line on stdout and its record in the log.
PortProvisioner::UnitSink UnitLines(std::ostream& out, Console& console, const std::string& logPath) {
    return [&out, &console, logPath](const UnitRecord& record) {
        out << record.unit << '\t' << (record.dtuId.empty() ? "-" : record.dtuId) << '\t' << record.shown
            << '\t' << record.milliseconds << " ms\n";
        out.flush();
        if (!logPath.empty() && !AppendLog(logPath, record))
            console.message(Filled(RowOf(StepResult::LogNotWritable).message, logPath));
    };
}

// Hands whole lines to a stream that several ports share, each line after its
// port's name, so that the lines of ports running at once never mix.
class PortLines : public std::streambuf {
  public:
    PortLines(std::ostream& target, std::string prefix) : target_(target), prefix_(std::move(prefix)) {}
    ~PortLines() override {
        if (!line_.empty()) emit();
    }

  protected:
    int_type overflow(int_type ch) override {
        if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
        line_.push_back(traits_type::to_char_type(ch));
        if (line_.back() == '\n') emit();
        return ch;
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        for (std::streamsize i = 0; i < count; ++i) overflow(traits_type::to_int_type(text[i]));
        return count;
    }

  private:
    void emit() {
        target_ << prefix_ << line_;
        target_.flush();
        line_.clear();
    }

    std::ostream& target_;
    std::string prefix_;
    std::string line_;
};

// One port of several: its own streams into the shared ones, its own console
// and trace, its provisioner (last: its port is closed before they go).
struct PortRun {
    PortRun(Context& shared, EventLoop& loop, const std::string& port, const ProvisionSettings& settings,
            const std::string& logPath)
        : outLines(shared.out, port + "\t"),
          errLines(shared.err, port + ": "),
          traceLines(shared.traceFile, port + " "),
          trace(shared.trace ? std::make_unique<Trace>(traceOut, shared.start, settings.showSecrets)
                             : nullptr),
          provisioner(loop, port, settings, console, trace.get(), UnitLines(out, console, logPath)) {
        provisioner.host().recordWritesTo(&shared.history, "provision", settings.showSecrets);
    }
    PortLines outLines;
    PortLines errLines;
    PortLines traceLines;
    std::ostream out{&outLines};
    std::ostream err{&errLines};
    std::ostream traceOut{&traceLines};
    Console console{err, false};
    std::unique_ptr<Trace> trace;
    PortProvisioner provisioner;
};

// "完成 3 台：通过 2，失败 1", and how the port's run ended.
std::string TallyText(const ProvisionTally& tally) {
    if (!tally.opened) return "无法打开串口";
    std::string text = "完成 " + std::to_string(tally.passed + tally.failed) + " 台：通过 " +
                       std::to_string(tally.passed) + "，失败 " + std::to_string(tally.failed);
    if (tally.lost) text += "；串口已断开";
    if (tally.interrupted) text += "；已中断";
    return text;
}

// Every port at once, one session each, all on this thread's one loop; a
// failing unit or port stops no other.
int ProvisionPorts(Context& context, const ProvisionSettings& settings, const std::string& logPath,
                   const std::vector<std::string>& ports) {
    EventLoop loop;  // first: it outlives every session on it
    std::vector<std::unique_ptr<PortRun>> runs;
    std::vector<PortProvisioner*> provisioners;
    for (const std::string& port : ports) {
        runs.push_back(std::make_unique<PortRun>(context, loop, port, settings, logPath));
        provisioners.push_back(&runs.back()->provisioner);
    }
    RunProvisioners(loop, provisioners);
    std::vector<ProvisionTally> tallies;
    std::vector<StepResult> results;
    for (const auto& run : runs) {
        tallies.push_back(run->provisioner.tally());
        results.push_back(run->provisioner.result());
    }
    runs.clear();  // every port's last lines out before the summary
    for (std::size_t i = 0; i < ports.size(); ++i)
        context.console.message(ports[i] + ": " + TallyText(tallies[i]));
    // The summary has said how each port ended.
    StepResult result = StepResult::UnitsFailed;
    if (std::none_of(tallies.begin(), tallies.end(), [](const ProvisionTally& t) { return t.opened; }))
        result = StepResult::OpenFailed;
    else if (std::count(results.begin(), results.end(), StepResult::Interrupted) != 0)
        result = StepResult::Interrupted;
    else if (std::all_of(results.begin(), results.end(), [](StepResult r) { return r == StepResult::Done; }))
        result = StepResult::Done;
    return RowOf(result).code;
}

// One port: its lines as they are, no summary; the exit code is the port's.
int ProvisionOnePort(Context& context, const ProvisionSettings& settings, const std::string& logPath,
                     const std::string& port) {
    EventLoop loop;
    PortProvisioner provisioner(loop, port, settings, context.console, context.trace.get(),
                                UnitLines(context.out, context.console, logPath));
    provisioner.host().recordWritesTo(&context.history, "provision", settings.showSecrets);
    PortProvisioner* const ports[] = {&provisioner};
    RunProvisioners(loop, ports);
    return provisioner.code();
}

int RunProvision(Context& context, const Common& common, const ProvisionOptions& options) {
    std::string problems;
    const std::optional<FormValues> values = LoadFile(options.file, problems);
    if (!values) return context.exit(StepResult::BadFile, problems);
    if (!options.logPath.empty() && !CreateOwnerOnlyFile(options.logPath).empty())
        return context.exit(StepResult::LogNotWritable, options.logPath);
    if (!context.openTrace(common.tracePath, common.showSecrets))
        return context.exit(StepResult::TraceNotWritable, common.tracePath);
    // Each port once: a second session on a port would only find it busy.
    std::vector<std::string> ports;
    const auto add = [&](const std::string& port) {
        if (std::find(ports.begin(), ports.end(), port) == ports.end()) ports.push_back(port);
    };
    for (const std::string& port : common.ports) {
        if (port != kAutoPort) {
            add(port);
            continue;
        }
        for (const std::string& candidate : SearchCandidatePaths()) add(candidate);
    }
    if (ports.empty()) return context.exit(StepResult::NoPortToTry);
    ProvisionSettings settings;
    settings.values = *values;
    settings.count = options.count;
    settings.showSecrets = common.showSecrets;
    // Without --timeout a unit is awaited for as long as it takes.
    if (common.timeoutGiven)
        settings.unitTimeout =
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(common.timeoutSeconds));
    settings.timeoutText = SecondsText(common.timeoutSeconds);
    if (common.ports.size() == 1 && common.ports.front() != kAutoPort)
        return ProvisionOnePort(context, settings, options.logPath, ports.front());
    return ProvisionPorts(context, settings, options.logPath, ports);
}

// ---- check ----------------------------------------------------------------------------

// Reads the unit and compares every field the file carries, by the rule of
// the read-back after a write.
int RunCheck(Context& context, Common common, const CheckOptions& options) {
    std::string problems;
    const std::optional<FormValues> values = LoadFile(options.file, problems);
    if (!values) return context.exit(StepResult::BadFile, problems);
    const FormValuesSnapshot snapshot(*values);
    const ConfigureResult request = BuildConfigureRequest(snapshot);
    if (!request.errorMessage.empty()) return context.exit(StepResult::FileNotSendable, request.errorMessage);
    if (!context.openTrace(common.tracePath, common.showSecrets))
        return context.exit(StepResult::TraceNotWritable, common.tracePath);
    OneUnit link(context, common, ReadSteps(context, common));
    if (!link.run()) return link.code();

    const FormValues& unit = link.host().form();
    const std::vector<std::uint8_t> differing = DifferingTypes(request.frames, link.host().readFills());
    std::size_t checked = 0;
    for (const ConfigureFrame& frame : request.frames) checked += frame.types.size();
    if (options.json) {
        nlohmann::ordered_json result;
        result["port"] = link.host().portPath();
        result["checked"] = checked;
        result["matches"] = differing.empty();
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const std::uint8_t type : differing)
            if (const ParameterField* field = FindFieldByType(type))
                list.push_back({{"field", field->accessibleLabel},
                                {"unit", Shown(unit, *field, common.showSecrets)},
                                {"file", Shown(*values, *field, common.showSecrets)}});
        result["differing"] = list;
        context.out << result.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    } else {
        for (const std::uint8_t type : differing)
            if (const ParameterField* field = FindFieldByType(type))
                context.out << "不一致\t" << field->accessibleLabel << "\tDTU："
                            << Shown(unit, *field, common.showSecrets) << "\t文件："
                            << Shown(*values, *field, common.showSecrets) << '\n';
        if (differing.empty())
            context.out << "核对一致：" << checked << " 个参数与文件相同\n";
        else
            context.out << "核对不一致：" << differing.size() << " 个参数与文件不同（共 " << checked
                        << " 个）\n";
    }
    context.out.flush();
    return context.exit(differing.empty() ? StepResult::Done : StepResult::Differs);
}

// ---- history --------------------------------------------------------------------------

// A CSV field, quoted when it holds a separator, a quote or a line end.
std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + '"';
}

std::string Joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : std::string(separator)) + part;
    return text;
}

int RunHistory(Context& context, const HistoryOptions& options) {
    const std::string path = DefaultHistoryPath();
    const HistoryRead read = path.empty() ? HistoryRead{} : ReadHistory(path);
    if (!read.error.empty()) return context.exit(StepResult::HistoryUnreadable, path + "：" + read.error);
    if (read.skipped != 0)
        context.console.message("注意：历史记录文件中有 " + std::to_string(read.skipped) +
                                " 行不是完整的记录，已跳过");
    if (options.csv)
        context.out << "time,frontEnd,port,dtuId,verdict,verification,fields,differing,unwritten\n";
    for (const HistoryRecord& record : FilterHistory(read.records, options.dtuId, options.since)) {
        if (options.json) {
            context.out << HistoryLine(record) << '\n';
            continue;
        }
        std::vector<std::string> fields;
        for (const HistoryField& field : record.fields) fields.push_back(field.label + "=" + field.value);
        if (options.csv) {
            const std::vector<std::string> cells{record.time,
                                                 record.frontEnd,
                                                 record.port,
                                                 record.dtuId,
                                                 record.verdict,
                                                 record.verification,
                                                 Joined(fields, "; "),
                                                 Joined(record.differing, "; "),
                                                 Joined(record.unwritten, "; ")};
            std::vector<std::string> quoted;
            for (const std::string& cell : cells) quoted.push_back(CsvField(cell));
            context.out << Joined(quoted, ",") << '\n';
            continue;
        }
        context.out << record.time << '\t' << record.frontEnd << '\t' << record.port << '\t'
                    << (record.dtuId.empty() ? "-" : record.dtuId) << '\t' << record.verdict << '\t'
                    << record.verification << '\t' << record.fields.size() << " 个参数\n";
    }
    context.out.flush();
    return context.exit(StepResult::Done);
}

// ---- ports ----------------------------------------------------------------------------

}  // namespace

std::string PortsLine(const FoundPort& port) {
    std::string line = port.path;
    if (!port.name.empty() || IsSearchCandidate(port)) line += "\t" + port.name;
    if (IsSearchCandidate(port)) line += "\t*";
    return line;
}

namespace {

int RunPorts(Context& context, const std::string& tracePath) {
    if (!context.openTrace(tracePath, false)) return context.exit(StepResult::TraceNotWritable, tracePath);
    const std::vector<FoundPort> ports = quill::FindSerialPorts();
    if (context.trace) context.trace->note("found " + std::to_string(ports.size()) + " serial ports");
    if (ports.empty()) context.console.message("没有找到串口");
    for (const FoundPort& port : ports) context.out << PortsLine(port) << '\n';
    context.out.flush();
    return context.exit(StepResult::Done);
}

// ---- Arguments ------------------------------------------------------------------------

// The options every command that talks to a DTU has; returns its --timeout.
CLI::Option* AddCommon(CLI::App& command, Common& common, bool severalPorts = false) {
    if (severalPorts)
        command
            .add_option("-p,--port", common.ports,
                        "serial port, e.g. /dev/ttyUSB0; repeat it for several ports at once, or auto: every "
                        "port a search would try (see ports)")
            ->required()
            ->allow_extra_args(false);  // one port a --port: the file comes after them
    else
        command
            .add_option("-p,--port", common.port,
                        "serial port, e.g. /dev/ttyUSB0, or auto: the port where a DTU answers")
            ->required();
    command.add_option("--trace", common.tracePath, "write every byte and decoded frame to this file");
    command.add_flag("--show-secrets", common.showSecrets,
                     "show the unit's passwords in the trace and the history (hidden as ****** otherwise)");
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
        "  quillmere-cli read --port auto      (the port where a DTU answers)\n"
        "  quillmere-cli provision --port /dev/ttyUSB0 --port /dev/ttyUSB1 fleet.json --count 10\n"
        "Every command that talks to a DTU takes --trace FILE (bytes with times, frames decoded);\n"
        "COMMAND --help tells more.\n"
        "\n" +
        ExitCodesHelp());

    Common common;
    ReadOptions readOptions;
    WriteOptions writeOptions;
    ProvisionOptions provisionOptions;
    std::vector<CLI::Option*> timeouts;

    CLI::App* ports = app.add_subcommand("ports", "List the serial ports of this machine");
    ports->add_option("--trace", common.tracePath, "write what was found to this file");
    ports->footer(
        "One port a line: path, the adapter's name where known, and * where --port auto would try it.\n"
        "Example:\n  quillmere-cli ports");

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
    timeouts.push_back(AddCommon(*provision, common, true));
    provision->add_option("file", provisionOptions.file, "parameter file (JSON)")->required();
    provision
        ->add_option("--count", provisionOptions.count, "stop after this many units (default: until Ctrl-C)")
        ->check(CLI::PositiveNumber);
    provision->add_option("--log", provisionOptions.logPath, "append one JSON line per unit to this file");
    provision->footer(
        "Each unit: wait for it to announce itself, read its DTU id, write the file, read back and compare,\n"
        "print one line (unit, DTU id, result, time), then wait until it is taken off the line.\n"
        "Several --port (or --port auto: every port a search would try): one session each, all at once;\n"
        "each line and log record names its port, and a summary per port ends the run.\n"
        "Example:\n  quillmere-cli provision --port /dev/ttyUSB0 fleet.json --count 20 --log fleet.log");

    CheckOptions checkOptions;
    CLI::App* check = app.add_subcommand("check", "Compare the DTU's parameters with a parameter file");
    timeouts.push_back(AddCommon(*check, common));
    check->add_option("file", checkOptions.file, "parameter file (JSON)")->required();
    check->add_flag("--json", checkOptions.json, "print the result as JSON");
    check->footer(
        "Reads the DTU and compares every field the file carries, as the read-back after a write does.\n"
        "Each field that differs: label, the DTU's value, the file's value. Exit 0 all alike, 1 any "
        "differs.\n"
        "Example:\n  quillmere-cli check --port /dev/ttyUSB0 station-7.json");

    HistoryOptions historyOptions;
    CLI::App* history = app.add_subcommand("history", "Print the record of every write, oldest first");
    history->add_option("--dtu", historyOptions.dtuId, "only the writes to this DTU id");
    history->add_option("--since", historyOptions.since, "only the writes on or after this date (YYYY-MM-DD)")
        ->check(CLI::Validator(
            [](const std::string& date) {
                return std::regex_match(date, std::regex(R"([0-9]{4}-[0-9]{2}-[0-9]{2}(T[0-9:]*)?)"))
                           ? std::string()
                           : std::string("not a date (YYYY-MM-DD): ") + date;
            },
            "DATE"));
    auto* asJson = history->add_flag("--json", historyOptions.json, "one JSON object a line, as recorded");
    history->add_flag("--csv", historyOptions.csv, "comma-separated, with a header line")->excludes(asJson);
    history->footer("Every write of the window, write and provision, kept in " + DefaultHistoryPath() +
                    ".\nExample:\n  quillmere-cli history --dtu 13912345678 --since 2026-12-01");

    std::vector<const char*> argv{"quillmere-cli"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    // The argument library reports through exceptions; they end here.
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::ParseError& error) {
        // The library has said why.
        return RowOf(app.exit(error, out, err) == 0 ? StepResult::Done : StepResult::BadArguments).code;
    }
    common.timeoutGiven = std::any_of(timeouts.begin(), timeouts.end(),
                                      [](const CLI::Option* option) { return option->count() > 0; });

    ClearInterrupt();
    Context context(out, err, errIsTerminal);
    int code = 0;
    if (ports->parsed())
        code = RunPorts(context, common.tracePath);
    else if (read->parsed())
        code = RunRead(context, common, readOptions);
    else if (write->parsed())
        code = RunWrite(context, common, writeOptions);
    else if (check->parsed())
        code = RunCheck(context, common, checkOptions);
    else if (history->parsed())
        code = RunHistory(context, historyOptions);
    else
        code = RunProvision(context, common, provisionOptions);
    ClearInterrupt();  // an interrupt belongs to the command it stopped
    return code;
}

}  // namespace quill::cli
