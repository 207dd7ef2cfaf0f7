// Turns received bytes, fed one at a time, into the characters the
// information area shows in character mode. A GBK lead byte shows nothing
// until its trail byte arrives; the pair then shows as its one character.
// Used by the window's received-byte display on the user-interface thread;
// no Qt here.
//
// What a byte shows (the rules of the text codec, applied one byte at a time):
// - 0x01 to 0x7F: itself. 0x00: nothing (a "%c" piece of a zero byte is empty).
// - 0x81 to 0xFE: held as a lead byte; nothing yet.
// - 0x80, 0xFF: what the codec makes of the byte alone (the euro sign, U+FFFD).
// - after a held lead: a byte that completes a GBK character shows that
//   character; any other byte shows U+FFFD for the lead and is then decoded
//   afresh (it may be a lead byte itself, and is held in turn).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quill {

// The characters one byte completes: zero, one or two UTF-16 code units.
struct DecodedPiece {
    std::array<char16_t, 2> units{};
    std::size_t count = 0;

    bool empty() const { return count == 0; }
};

class GbkStreamDecoder {
  public:
    DecodedPiece feed(std::uint8_t byte);
    // Gives up a held lead byte (its trail byte will not be decoded with it):
    // U+FFFD for it, or nothing when no lead byte is held.
    DecodedPiece abandon();
    bool holdingLead() const { return held != 0; }

  private:
    std::uint8_t held = 0;  // the lead byte waiting for its trail; 0 for none
};

// One received byte as the demo terminal shows it and keeps it, for every
// front end. Hex mode ("%02X"): two upper-case digits, so consecutive bytes
// run together, after U+FFFD for a lead byte held from character mode (it
// will get no trail byte now). Character mode ("%c"): the byte itself through
// the decoder; a zero byte shows and keeps nothing.
struct ReceivedPiece {
    std::array<char16_t, 3> shown{};
    std::size_t shownCount = 0;
    std::array<char, 2> kept{};  // what the information area's member gains
    std::size_t keptCount = 0;
};
ReceivedPiece ShowReceivedByte(GbkStreamDecoder& decoder, std::uint8_t byte, bool hexMode);

}  // namespace quill
