#include "protocol/write_check.h"

#include <map>

#include "protocol/frame.h"
#include "protocol/read_answer.h"

namespace quill {
namespace {

bool SameUpdates(const std::vector<ControlUpdate>& a, const std::vector<ControlUpdate>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].controlId != b[i].controlId || a[i].selectIndex != b[i].selectIndex) return false;
        if (a[i].selectIndex ? a[i].index != b[i].index : a[i].text != b[i].text) return false;
    }
    return true;
}

using Fills = std::map<std::uint8_t, std::vector<ControlUpdate>>;

// What each item fills, by type; a later item of a type replaces an earlier one.
Fills FillsOf(std::span<const ItemUpdate> items) {
    Fills fills;
    for (const ItemUpdate& item : items) fills[item.type] = item.updates;
    return fills;
}

}  // namespace

std::vector<std::uint8_t> DifferingTypes(std::span<const ConfigureFrame> written,
                                         std::span<const std::uint8_t> readAnswer) {
    return DifferingTypes(written, ApplyReadAnswer(readAnswer));
}

std::vector<std::uint8_t> DifferingTypes(std::span<const ConfigureFrame> written,
                                         std::span<const ItemUpdate> readFills) {
    // The written items as a read answer would carry them, so both sides are
    // rendered by the same rules.
    std::vector<std::uint8_t> types;
    std::vector<std::uint8_t> buffer(kMaxFrameLength);
    FrameWriter writer(buffer);
    writer.BeginFrame(Command::ReadAnswer);
    for (const ConfigureFrame& frame : written) {
        ForEachItem(std::span<const std::uint8_t>(frame.bytes), [&](const ItemView& item) {
            if (writer.AppendItem(item.type, item.value)) types.push_back(item.type);
        });
    }
    const auto asRead = writer.FinishFrame();
    const Fills expected = asRead ? FillsOf(ApplyReadAnswer(*asRead)) : Fills{};
    const Fills actual = FillsOf(readFills);

    std::vector<std::uint8_t> differing;
    for (const std::uint8_t type : types) {
        const auto want = expected.find(type);
        const auto got = actual.find(type);
        const bool same =
            want != expected.end() && got != actual.end() && SameUpdates(want->second, got->second);
        if (!same) differing.push_back(type);
    }
    return differing;
}

}  // namespace quill
