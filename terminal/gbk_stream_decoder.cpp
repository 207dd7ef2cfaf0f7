#include "terminal/gbk_stream_decoder.h"

#include <string>

#include "protocol/text_codec.h"

namespace quill {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

bool IsLeadByte(std::uint8_t byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

void Add(DecodedPiece& piece, char16_t unit) {
    if (piece.count < piece.units.size()) piece.units[piece.count++] = unit;
}

// A byte decoded with nothing held: at most one unit.
void DecodeAlone(std::uint8_t byte, DecodedPiece& piece, std::uint8_t& held) {
    if (byte == 0) return;
    if (byte < 0x80) {
        Add(piece, static_cast<char16_t>(byte));
    } else if (IsLeadByte(byte)) {
        held = byte;
    } else {
        // 0x80 and 0xFF stand alone; the codec says what they show.
        const char single = static_cast<char>(byte);
        const std::u16string decoded = GbkToUtf16(std::string_view(&single, 1));
        Add(piece, decoded.size() == 1 ? decoded[0] : kReplacement);
    }
}

}  // namespace

DecodedPiece GbkStreamDecoder::feed(std::uint8_t byte) {
    DecodedPiece piece;
    if (held == 0) {
        DecodeAlone(byte, piece, held);
        return piece;
    }
    const char pair[2] = {static_cast<char>(held), static_cast<char>(byte)};
    held = 0;
    const std::u16string decoded = GbkToUtf16(std::string_view(pair, sizeof pair));
    if (decoded.size() == 1 && decoded[0] != kReplacement) {
        Add(piece, decoded[0]);
        return piece;
    }
    // The lead byte had no valid trail: it shows as a replacement, and this
    // byte starts afresh.
    Add(piece, kReplacement);
    DecodeAlone(byte, piece, held);
    return piece;
}

DecodedPiece GbkStreamDecoder::abandon() {
    DecodedPiece piece;
    if (held != 0) Add(piece, kReplacement);
    held = 0;
    return piece;
}

ReceivedPiece ShowReceivedByte(GbkStreamDecoder& decoder, std::uint8_t byte, bool hexMode) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    ReceivedPiece piece;
    if (hexMode) {
        if (const DecodedPiece dropped = decoder.abandon(); !dropped.empty())
            piece.shown[piece.shownCount++] = dropped.units[0];
        piece.kept = {kHexDigits[byte >> 4], kHexDigits[byte & 0x0F]};
        piece.keptCount = 2;
        piece.shown[piece.shownCount++] = static_cast<char16_t>(piece.kept[0]);
        piece.shown[piece.shownCount++] = static_cast<char16_t>(piece.kept[1]);
        return piece;
    }
    const DecodedPiece decoded = decoder.feed(byte);
    for (std::size_t i = 0; i < decoded.count; ++i) piece.shown[piece.shownCount++] = decoded.units[i];
    if (byte != 0) piece.kept[piece.keptCount++] = static_cast<char>(byte);
    return piece;
}

}  // namespace quill
