#include "form/open_failure.h"

#include "form/window_texts.h"

namespace quill {
namespace {

std::string WithHint(std::string text, const std::optional<SerialPortError>& error) {
    if (!error) return text;
    if (const std::string_view hint = OpenFailureHint(error->kind); !hint.empty()) {
        text += '\n';
        text += hint;
    }
    return text;
}

}  // namespace

std::string_view OpenFailureHint(SerialPortErrorKind kind) {
    switch (kind) {
        case SerialPortErrorKind::NoPermission:
            return kNoPermissionText;
        case SerialPortErrorKind::Busy:
            return kPortBusyText;
        case SerialPortErrorKind::Missing:
        case SerialPortErrorKind::NotASerialPort:
        case SerialPortErrorKind::Other:
            break;
    }
    return {};
}

std::string OpenFailureText(const std::optional<SerialPortError>& error) {
    return WithHint(std::string(kOpenFailedText), error);
}

std::string OpenFailureText(const std::optional<SerialPortError>& error, std::string_view portName) {
    std::string text = "无法打开串口 ";
    text += portName;
    if (error && !error->text.empty()) {
        text += "：";
        text += error->text;
    }
    return WithHint(std::move(text), error);
}

}  // namespace quill
