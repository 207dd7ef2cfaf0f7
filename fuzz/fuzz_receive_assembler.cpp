// Arbitrary byte streams into the receive assembler, every read frame that
// completes through the read-back mapping.
//
// Input: byte 0 picks how answers are expected (its remainder by 5) and how
// often the rest, the line, is sent (1 + its quotient by 5, up to 52 times, so
// that short inputs reach the 5000-byte buffer's end).
//   0 read answers only, 1 configure answers only, 2 both at once: the flag
//   of an answer is set again as soon as that answer completes;
//   3 in turn: a completed read answer arms the configure answer and back;
//   4 requests at any moment: the line is (control, byte) pairs, control bit 0
//     sets readPending and bit 1 configurePending before the byte arrives,
//     the way a button pressed mid-answer does.
// The line is also mapped directly as a read answer, so that the mapping sees
// frames the assembler would have cut differently.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "protocol/frame.h"
#include "protocol/item_table.h"
#include "protocol/read_answer.h"
#include "protocol/receive_assembler.h"

namespace {

using quill::AssemblerEvent;
using Kind = AssemblerEvent::Kind;
using Bytes = std::span<const std::uint8_t>;

constexpr std::int32_t kCapacity = static_cast<std::int32_t>(quill::ReceiveAssembler::kCapacity);

int ValueByte(Bytes v, std::size_t i) {
    return i < v.size() ? v[i] : 0;
}

// A value as its zero-filled work area of `area` bytes holds it.
Bytes InArea(Bytes v, std::size_t area) {
    v = v.first(std::min(v.size(), area - 1));
    return v.first(static_cast<std::size_t>(std::find(v.begin(), v.end(), 0) - v.begin()));
}

std::string HexOf(Bytes v, std::size_t maxBytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s;
    for (std::size_t i = 0; i < v.size() && i < maxBytes; ++i) {
        s += kDigits[v[i] >> 4];
        s += kDigits[v[i] & 0x0F];
        s += ' ';
    }
    return s;
}

bool IsListIndex(int index) {
    return index >= 0 && index <= 0xFFFFFF;  // a code, or a 24-bit rate used as its own index
}

void CheckUpdate(const quill::ItemDef& def, Bytes v, const quill::ItemUpdate& got) {
    using quill::ReadKind;
    for (const quill::ControlUpdate& u : got.updates)
        FUZZ_CHECK(quill::FindItemByValueControl(u.controlId) == &def);
    if (def.readKind == ReadKind::SerialLists) {
        FUZZ_CHECK(got.updates.size() == 5);
        for (std::size_t i = 0; i < got.updates.size(); ++i) {
            FUZZ_CHECK(got.updates[i].selectIndex);
            FUZZ_CHECK(got.updates[i].controlId == def.valueIds[i]);
            FUZZ_CHECK(IsListIndex(got.updates[i].index));
            if (i > 0) FUZZ_CHECK(got.updates[i].index <= 255);
        }
        return;
    }
    FUZZ_CHECK(got.updates.size() == 1);
    const quill::ControlUpdate& u = got.updates[0];
    FUZZ_CHECK(u.controlId == def.valueIds[0]);
    if (def.readKind == ReadKind::ListIndex) {
        FUZZ_CHECK(u.selectIndex && u.index == ValueByte(v, 0));
        return;
    }
    FUZZ_CHECK(!u.selectIndex);
    const std::string& t = u.text;
    FUZZ_CHECK(t.find('\0') == std::string::npos);  // a zero-filled area ends the text
    const auto v0 = ValueByte(v, 0), v1 = ValueByte(v, 1);
    switch (def.readKind) {
        case ReadKind::Text: {
            const Bytes area = InArea(v, quill::kTextArea);
            FUZZ_CHECK(t.size() < quill::kTextArea && t == std::string(area.begin(), area.end()));
            break;
        }
        case ReadKind::LongText: {
            const Bytes area = InArea(v, quill::kLongTextArea);
            FUZZ_CHECK(t.size() < quill::kLongTextArea && t == std::string(area.begin(), area.end()));
            break;
        }
        case ReadKind::DecimalByte:
            FUZZ_CHECK(t == std::to_string(v0));
            break;
        case ReadKind::DecimalWordBE:
            FUZZ_CHECK(t == std::to_string(v0 * 256 + v1));
            break;
        case ReadKind::DecimalWordLE:
            FUZZ_CHECK(t == std::to_string(v1 * 256 + v0));
            break;
        case ReadKind::DottedAddress:
            FUZZ_CHECK(t == std::to_string(v0) + '.' + std::to_string(v1) + '.' +
                                std::to_string(ValueByte(v, 2)) + '.' + std::to_string(ValueByte(v, 3)));
            break;
        case ReadKind::Digit: {
            const char c = static_cast<char>((0x30 + v0) & 0xFF);
            FUZZ_CHECK(t == (c == '\0' ? std::string() : std::string(1, c)));
            break;
        }
        case ReadKind::Ucs2Text:
            // At most 74 code units fit the area, each at most two GBK bytes.
            FUZZ_CHECK(t.size() < quill::kLongTextArea);
            break;
        case ReadKind::Hex:
            // Three characters per byte and the terminator within 400 bytes.
            FUZZ_CHECK(t.size() < quill::kHexTextArea);
            FUZZ_CHECK(t == HexOf(InArea(v, quill::kLongTextArea), (quill::kHexTextArea - 1) / 3));
            break;
        default:
            FUZZ_CHECK(false);
    }
}

// The mapping against an independent walk of the same frame: one entry per
// known, shown item, in frame order.
void CheckReadAnswer(Bytes frame) {
    const std::vector<quill::ItemUpdate> got = quill::ApplyReadAnswer(frame);
    std::size_t next = 0;
    quill::ForEachItem(frame, [&](const quill::ItemView& item) {
        const quill::ItemDef* def = quill::FindItem(item.type);
        if (def == nullptr || def->readKind == quill::ReadKind::Skip) return;
        FUZZ_CHECK(item.type != 0x06 && item.type != 0xCD && item.type != 0xEE);
        FUZZ_CHECK(next < got.size());
        FUZZ_CHECK(got[next].type == item.type);
        CheckUpdate(*def, item.value, got[next]);
        ++next;
    });
    FUZZ_CHECK(next == got.size());
}

bool IsRead(Kind k) {
    return k == Kind::ReadSucceeded || k == Kind::ReadFailed;
}

// What every completed answer must look like. `steady` is true when no flag
// changed while the frame was being collected.
void CheckEvent(const AssemblerEvent& event, std::uint8_t b, bool steady) {
    FUZZ_CHECK(!quill::EventText(event.kind).empty());
    const Bytes f = event.frame;
    if (f.empty()) {  // an answer too long to hold, dropped
        FUZZ_CHECK(event.kind == Kind::ReadFailed || event.kind == Kind::ConfigureFailed);
        return;
    }
    FUZZ_CHECK(f.size() >= 2 && f.size() <= quill::ReceiveAssembler::kCapacity);
    FUZZ_CHECK(b == quill::kFrameDelimiter && f.front() == quill::kFrameDelimiter &&
               f.back() == quill::kFrameDelimiter);
    if (IsRead(event.kind)) {
        FUZZ_CHECK((event.kind == Kind::ReadSucceeded) == (f[1] == quill::Command::ReadAnswer));
        FUZZ_CHECK(quill::FrameLengthField(f) <= f.size());
        // It completes at the first 0x7B at which the count reaches the length.
        if (steady)
            for (std::size_t j = 1; j + 1 < f.size(); ++j)
                if (f[j] == quill::kFrameDelimiter)
                    FUZZ_CHECK(quill::FrameLengthField(f.first(j + 1)) > j + 1);
        CheckReadAnswer(f);
    } else {
        const bool accepted = f.size() >= 3 && f[1] == quill::Command::ConfigureAnswer && f[2] == 0x00;
        FUZZ_CHECK((event.kind == Kind::ConfigureSucceeded) == accepted);
        // It completes at the first 0x7B after its start byte.
        if (steady) FUZZ_CHECK(std::find(f.begin() + 1, f.end() - 1, quill::kFrameDelimiter) == f.end() - 1);
    }
}

// Hands one byte to the assembler, checks what it did, and re-arms the flag
// of a completed answer as the mode says.
void Send(quill::ReceiveAssembler& assembler, int mode, std::uint8_t b, bool& steady) {
    const bool readBefore = assembler.readPending, configureBefore = assembler.configurePending;
    const std::int32_t countBefore = assembler.receiveCount;

    const AssemblerEvent event = assembler.AcceptByte(b);

    FUZZ_CHECK(assembler.receiveCount >= 0 && assembler.receiveCount <= kCapacity);
    if (!readBefore && !configureBefore) {
        FUZZ_CHECK(event.kind == Kind::None && assembler.receiveCount == countBefore);
        return;
    }
    // A full buffer never stalls: the next byte ends the answer.
    if (countBefore == kCapacity) FUZZ_CHECK(event.kind != Kind::None);
    if (event.kind == Kind::None) return;

    FUZZ_CHECK(assembler.receiveCount == 0);
    const bool read = IsRead(event.kind);
    FUZZ_CHECK(read ? readBefore && !assembler.readPending : configureBefore && !assembler.configurePending);
    CheckEvent(event, b, steady);
    steady = true;
    if (mode <= 2) (read ? assembler.readPending : assembler.configurePending) = true;
    if (mode == 3) (read ? assembler.configurePending : assembler.readPending) = true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int mode = data[0] % 5;
    const int repeats = 1 + data[0] / 5;
    const Bytes line(data + 1, size - 1);
    CheckReadAnswer(line);

    static quill::ReceiveAssembler assembler;  // 5000-byte buffer: keep it off the stack
    assembler = quill::ReceiveAssembler{};
    assembler.readPending = mode == 0 || mode == 2 || mode == 3;
    assembler.configurePending = mode == 1 || mode == 2;

    const std::size_t step = mode == 4 ? 2 : 1;
    bool steady = true;  // no flag set while the frame in progress was collected
    for (int r = 0; r < repeats; ++r) {
        for (std::size_t i = 0; i + step <= line.size(); i += step) {
            if (mode == 4 && (line[i] & 3) != 0) {
                if (assembler.receiveCount != 0) steady = false;
                if ((line[i] & 1) != 0) assembler.readPending = true;
                if ((line[i] & 2) != 0) assembler.configurePending = true;
            }
            Send(assembler, mode, line[i + step - 1], steady);
        }
    }
    return 0;
}
