// The window's control ids that more than one part of the tool names: the
// session's buttons and boxes, the terminal controls, the status line and the
// lists. Every front end, the session core and the tests use these names; the
// layout table holds every control.
#pragma once

namespace quill {

inline constexpr int kPortListId = 1026;
inline constexpr int kOpenButtonId = 1027;
inline constexpr int kCloseButtonId = 1028;
inline constexpr int kReadButtonId = 1029;
inline constexpr int kConfigureButtonId = 1030;
inline constexpr int kConfigDoneBoxId = 1031;
inline constexpr int kResetButtonId = 1032;
inline constexpr int kHexModeBoxId = 1033;
inline constexpr int kAutoSendBoxId = 1034;
inline constexpr int kSendButtonId = 1037;
inline constexpr int kStatusLineId = 1052;
inline constexpr int kDemoRateListId = 1068;
// The demo-state terminal controls, enabled only in the demo state with the port open.
inline constexpr int kTerminalControls[] = {1033, 1034, 1035, 1036, 1037, 1061, 1066, 1067};

inline constexpr int kInfoAreaId = 1000;
inline constexpr int kIntervalEditId = 1035;
inline constexpr int kSendEditId = 1036;
inline constexpr int kClearButtonId = 1038;
inline constexpr int kHelpButtonId = 1043;

}  // namespace quill
