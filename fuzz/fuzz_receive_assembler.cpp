// Arbitrary byte streams into the receive assembler, every read frame that
// completes through the read-back mapping.
//
// Input: byte 0 picks how answers are expected (its remainder by 4) and how
// often the rest, the line, is sent (1 + its quotient by 4, up to 64 times, so
// that short inputs reach the 5000-byte buffer's end).
//   0 read answers only, 1 configure answers only: the same answer is
//   expected again as soon as one completes;
//   2 in turn: a completed read answer arms the configure answer and back;
//   3 requests at any moment: the line is (control, byte) pairs, control bit 0
//     expects a read answer and bit 1 a configure answer before the byte
//     arrives, the way a button pressed mid-answer does.
// The line is also mapped directly as a read answer, so that the mapping sees
// frames the assembler would have cut differently. What the mapping shows is
// checked by reading it back: the text parsed again must give the value bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
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

// The first `count` value bytes; bytes past the value count as zero.
std::vector<std::uint8_t> ValueBytes(Bytes v, std::size_t count) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < count; ++i) bytes.push_back(static_cast<std::uint8_t>(ValueByte(v, i)));
    return bytes;
}

// A plain decimal number (digits only, no leading zero) as `count` bytes,
// high byte first unless lowFirst; empty when the text is no such number or
// does not fit.
std::vector<std::uint8_t> BytesOfNumber(std::string_view text, std::size_t count, bool lowFirst) {
    if (text.empty() || text.size() > 5 || (text.size() > 1 && text[0] == '0')) return {};
    unsigned long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return {};
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    if (value >> (8 * count) != 0) return {};
    std::vector<std::uint8_t> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t shift = 8 * (lowFirst ? i : count - 1 - i);
        bytes[i] = static_cast<std::uint8_t>((value >> shift) & 0xFF);
    }
    return bytes;
}

// Two upper-case hexadecimal digits as one byte; empty otherwise.
std::vector<std::uint8_t> BytesOfHex(std::string_view pair) {
    constexpr std::string_view kDigits = "0123456789ABCDEF";
    if (pair.size() != 2) return {};
    const std::size_t high = kDigits.find(pair[0]), low = kDigits.find(pair[1]);
    if (high == std::string_view::npos || low == std::string_view::npos) return {};
    return {static_cast<std::uint8_t>(high * 16 + low)};
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
            FUZZ_CHECK(BytesOfNumber(t, 1, false) == ValueBytes(v, 1));
            break;
        case ReadKind::DecimalWordBE:
            FUZZ_CHECK(BytesOfNumber(t, 2, false) == ValueBytes(v, 2));
            break;
        case ReadKind::DecimalWordLE:
            FUZZ_CHECK(BytesOfNumber(t, 2, true) == ValueBytes(v, 2));
            break;
        case ReadKind::DottedAddress: {
            // Four plain decimal numbers between dots, each one value byte.
            std::vector<std::uint8_t> parts;
            std::size_t from = 0;
            for (std::size_t dot = 0; dot != std::string::npos; from = dot + 1) {
                dot = t.find('.', from);
                const std::vector<std::uint8_t> part = BytesOfNumber(t.substr(from, dot - from), 1, false);
                FUZZ_CHECK(part.size() == 1);
                parts.push_back(part[0]);
            }
            FUZZ_CHECK(parts == ValueBytes(v, 4));
            break;
        }
        case ReadKind::Digit: {
            // Read back: the character's distance from '0' is the value; a
            // zero character ends the text.
            const std::uint8_t v0 = ValueBytes(v, 1)[0];
            FUZZ_CHECK(t.size() <= 1);
            FUZZ_CHECK(t.empty() ? v0 == 0xD0 : static_cast<std::uint8_t>(t[0] - '0') == v0);
            break;
        }
        case ReadKind::Ucs2Text:
            // At most 74 code units fit the area, each at most two GBK bytes.
            FUZZ_CHECK(t.size() < quill::kLongTextArea);
            break;
        case ReadKind::Hex: {
            // Pairs of upper-case digits, each followed by one blank, read back
            // give the value up to its first zero byte, as far as 399 bytes hold.
            FUZZ_CHECK(t.size() < quill::kHexTextArea && t.size() % 3 == 0);
            std::vector<std::uint8_t> back;
            for (std::size_t i = 0; i < t.size(); i += 3) {
                FUZZ_CHECK(t[i + 2] == ' ');
                const std::vector<std::uint8_t> byte = BytesOfHex(t.substr(i, 2));
                FUZZ_CHECK(byte.size() == 1);
                back.push_back(byte[0]);
            }
            const Bytes area = InArea(v, quill::kLongTextArea);
            const std::size_t shown = std::min(area.size(), (quill::kHexTextArea - 1) / 3);
            FUZZ_CHECK(back == std::vector<std::uint8_t>(area.begin(), area.begin() + static_cast<std::ptrdiff_t>(shown)));
            break;
        }
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

quill::AnswerKind KindOf(Kind k) {
    return IsRead(k) ? quill::AnswerKind::Read : quill::AnswerKind::Configure;
}

// Hands one byte to the assembler, checks what it did, and expects the next
// answer as the mode says.
void Send(quill::ReceiveAssembler& assembler, int mode, std::uint8_t b, bool& steady) {
    const quill::AnswerKind expected = assembler.expected();
    const std::int32_t countBefore = assembler.receiveCount();
    const quill::AssemblerStage stageBefore = assembler.stage();

    const AssemblerEvent event = assembler.AcceptByte(b);

    FUZZ_CHECK(assembler.receiveCount() >= 0 && assembler.receiveCount() <= kCapacity);
    if (expected == quill::AnswerKind::Nothing) {
        FUZZ_CHECK(event.kind == Kind::None && assembler.receiveCount() == countBefore);
        FUZZ_CHECK(assembler.stage() == quill::AssemblerStage::Idle);
        return;
    }
    // A full buffer never stalls: the next byte ends the answer.
    if (countBefore == kCapacity) FUZZ_CHECK(event.kind != Kind::None);
    if (event.kind == Kind::None) {
        FUZZ_CHECK(assembler.expected() == expected);
        // Bytes before a start byte are dropped; from the start byte on, every byte is kept.
        if (stageBefore == quill::AssemblerStage::AwaitStart) {
            FUZZ_CHECK(assembler.receiveCount() == (b == quill::kFrameDelimiter ? 1 : 0));
            FUZZ_CHECK(assembler.stage() ==
                       (b == quill::kFrameDelimiter ? quill::AssemblerStage::Head : quill::AssemblerStage::AwaitStart));
        } else {
            FUZZ_CHECK(assembler.receiveCount() == countBefore + 1);
            FUZZ_CHECK(assembler.stage() != quill::AssemblerStage::AwaitStart);
        }
        return;
    }
    // One verdict, on the answer that was expected, and then nothing is.
    FUZZ_CHECK(KindOf(event.kind) == expected);
    FUZZ_CHECK(assembler.receiveCount() == 0 && assembler.expected() == quill::AnswerKind::Nothing);
    FUZZ_CHECK((event.kind == Kind::ReadSucceeded || event.kind == Kind::ConfigureSucceeded) ==
               (assembler.lastRefusal() == quill::FrameRefusal::None));
    CheckEvent(event, b, steady);
    steady = true;
    if (mode <= 1) assembler.Expect(expected);
    if (mode == 2)
        assembler.Expect(expected == quill::AnswerKind::Read ? quill::AnswerKind::Configure
                                                             : quill::AnswerKind::Read);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int mode = data[0] % 4;
    const int repeats = 1 + data[0] / 4;
    const Bytes line(data + 1, size - 1);
    CheckReadAnswer(line);

    static quill::ReceiveAssembler assembler;  // 5000-byte buffer: keep it off the stack
    assembler = quill::ReceiveAssembler{};
    assembler.Expect(mode == 1 ? quill::AnswerKind::Configure : quill::AnswerKind::Read);

    const std::size_t step = mode == 3 ? 2 : 1;
    bool steady = true;  // no request made while the frame in progress was collected
    for (int r = 0; r < repeats; ++r) {
        for (std::size_t i = 0; i + step <= line.size(); i += step) {
            if (mode == 3 && (line[i] & 3) != 0) {
                if (assembler.expected() != quill::AnswerKind::Nothing) steady = false;
                assembler.Expect((line[i] & 1) != 0 ? quill::AnswerKind::Read : quill::AnswerKind::Configure);
            }
            Send(assembler, mode, line[i + step - 1], steady);
        }
    }
    return 0;
}
