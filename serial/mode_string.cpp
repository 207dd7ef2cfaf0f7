#include "serial/mode_string.h"

#include <charconv>
#include <cstdint>

namespace quill::platform {
namespace {

// Takes "key=" then a decimal number from the front of text.
bool TakeNumber(std::string_view& text, std::string_view key, std::uint32_t& value) {
    if (text.substr(0, key.size()) != key) return false;
    text.remove_prefix(key.size());
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end == text.data()) return false;
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return true;
}

bool TakeLiteral(std::string_view& text, std::string_view literal) {
    if (text.substr(0, literal.size()) != literal) return false;
    text.remove_prefix(literal.size());
    return true;
}

}  // namespace

bool ParseModeString(std::string_view mode, LineSettings& settings) {
    std::string_view rest = mode;
    std::uint32_t rate = 0;
    std::uint32_t dataBits = 0;
    std::uint32_t stopBits = 0;
    if (!TakeNumber(rest, "baud=", rate) || !TakeLiteral(rest, " parity=") || rest.empty()) return false;
    const char parity = rest.front();
    rest.remove_prefix(1);
    if (!TakeNumber(rest, " data=", dataBits) || !TakeNumber(rest, " stop=", stopBits) || !rest.empty()) {
        return false;
    }
    constexpr std::string_view kParities = "NOEMSnoems";
    if (rate == 0 || kParities.find(parity) == std::string_view::npos || dataBits < 5 || dataBits > 8 ||
        (stopBits != 1 && stopBits != 2)) {
        return false;
    }
    settings.rate = rate;
    settings.parity = static_cast<char>(parity & ~0x20);  // upper case
    settings.dataBits = dataBits;
    settings.stopBits = stopBits;
    return true;
}

}  // namespace quill::platform
