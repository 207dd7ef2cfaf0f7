// The texts the session puts in the information area, the status line and
// its boxes, in one place so that every front end shows the same words.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quill {

// Texts of the information area and the boxes.
inline constexpr std::string_view kOpenedWaitText = "<-打开串口成功，请连接DTU...\n\r\n\r";
inline constexpr std::string_view kOpenedDemoText = "<-打开串口成功，进入演示状态\n\r\n\r";
inline constexpr std::string_view kClosedText = "<-关闭串口成功\n\r\n\r";
inline constexpr std::string_view kConnectedText = "<-连接DTU成功！\n\r\n\r";
inline constexpr std::string_view kTimedOutText = "<-连接DTU超时\n\r\n\r";
inline constexpr std::string_view kDemoEnteredText = "<-配置完成，进入演示状态\n\r\n\r";
inline constexpr std::string_view kDemoPortClosedText = "<-串口未打开，请打开串口\n\r\n\r";
inline constexpr std::string_view kReconnectText = "<-请连接DTU...\n\r\n\r";
inline constexpr std::string_view kPortLostText = "<-串口已断开（设备被拔出或关闭）\n\r\n\r";
inline constexpr std::string_view kStatusClosedText = "当前状态：串口已关闭";
inline constexpr std::string_view kErrorCaption = "错误提示";
inline constexpr std::string_view kApplicationErrorCaption = "Application Error";
inline constexpr std::string_view kPortNotOpenText = "串口没有打开，请打开串口";
// A write in several frames that stopped at a refused frame names what did not go out.
inline constexpr std::string_view kNotWrittenPrefix = "<-以下参数未配置：";
// Verification after a write: each differing field, then one verdict.
inline constexpr std::string_view kVerifyMismatchPrefix = "<-回读校验不一致：";
inline constexpr std::string_view kVerifyPassedText = "<-回读校验通过！\n\r\n\r";
inline constexpr std::string_view kVerifyFailedPrefix = "<-回读校验失败：";
inline constexpr std::string_view kVerifyFailedSuffix = "项参数不一致！\n\r\n\r";
inline constexpr std::string_view kVerifyNotReadText = "<-回读校验失败：未能读取参数！\n\r\n\r";
// A check of the unit against a parameter file: each differing field, then one verdict.
inline constexpr std::string_view kCheckDiffersPrefix = "<-核对不一致：";
inline constexpr std::string_view kCheckPassedText = "<-核对通过：DTU中的参数与文件一致！\n\r\n\r";
inline constexpr std::string_view kCheckFailedPrefix = "<-核对结果：";
inline constexpr std::string_view kCheckFailedSuffix = "项参数与文件不一致！\n\r\n\r";
inline constexpr std::string_view kCheckNotReadText = "<-核对失败：未能读取参数！\n\r\n\r";

// A request got no answer within the deadline a front end asked for.
inline constexpr std::string_view kNoAnswerText = "<-DTU无应答\n\r\n\r";

// "当前状态：串口<name>已打开,波特率<rate>"
std::string OpenStatusText(std::string_view portName, std::uint32_t rate);

}  // namespace quill
