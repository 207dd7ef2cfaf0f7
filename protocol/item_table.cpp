#include "item_table.h"

#include <algorithm>

namespace quill {
namespace {

// Rows in ascending type order; FindItem relies on that. One row a line, as a table reads.
// clang-format off
constexpr std::array<ItemDef, kItemCount> kItems{{
    {0x01, "dtuId", "DTU编号", ValueFormat::PlainText, ReadKind::Text, WriteRule::RequiredText, "DTU编号不能为空！", 1001, {1002}, 1, false},
    {0x04, "apn", "接入点名称", ValueFormat::PlainText, ReadKind::Text, WriteRule::RequiredText, "接入点名称不能为空！", 1024, {1025}, 1, false},
    {0x06, "", "", ValueFormat::Skipped, ReadKind::Skip, WriteRule::None, "", 0, {}, 0, false},
    {0x08, "heartbeatInterval", "心跳时间间隔", ValueFormat::WordBE, ReadKind::DecimalWordBE, WriteRule::Number, "在线报告间隔不能为空！", 1041, {1042}, 1, false},
    {0x09, "maxPacketLength", "最大包长", ValueFormat::WordBE, ReadKind::DecimalWordBE, WriteRule::Number, "最大包长不能为空！", 1039, {1040}, 1, false},
    {0x0A, "reconnectInterval", "重连时间间隔", ValueFormat::WordBE, ReadKind::DecimalWordBE, WriteRule::Number, "重连接时间间隔不能为空！", 1064, {1065}, 1, false},
    {0x0B, "debugState", "调试状态", ValueFormat::Byte, ReadKind::DecimalByte, WriteRule::DebugState, "调试状态不能为空！", 1069, {1070}, 1, false},
    {0x0C, "lastPacketIdleInterval", "最后包空闲间隔", ValueFormat::WordBE, ReadKind::DecimalWordBE, WriteRule::Number, "最后包空闲间隔不能为空！", 1062, {1063}, 1, false},
    {0x0D, "mainCentreIp", "主数据中心IP地址", ValueFormat::IPv4, ReadKind::DottedAddress, WriteRule::Address, "数据中心IP地址不能为空！", 1005, {1006}, 1, false},
    {0x0E, "mainCentreDomain", "主数据中心域名", ValueFormat::PlainText, ReadKind::LongText, WriteRule::OptionalText, "", 1009, {1010}, 1, false},
    {0x10, "mainCentrePort", "主数据中心端口", ValueFormat::WordBE, ReadKind::DecimalWordBE, WriteRule::Number, "数据中心端口不能为空！", 1007, {1008}, 1, false},
    {0x12, "serialSettings", "选择", ValueFormat::SerialBlock, ReadKind::SerialLists, WriteRule::SerialLists, "", 1021, {1016, 1017, 1018, 1019, 1020}, 5, false},
    {0x18, "transferMode", "传输方式", ValueFormat::Byte, ReadKind::ListIndex, WriteRule::ListChoice, "请选择-传输方式！", 1011, {1012}, 1, false},
    {0x19, "connectionMode", "连接方式", ValueFormat::Byte, ReadKind::ListIndex, WriteRule::ListChoice, "请选择-连接方式！", 1013, {1014}, 1, false},
    {0x20, "backupCentreIp", "备用数据中心IP地址", ValueFormat::IPv4, ReadKind::DottedAddress, WriteRule::Address, "数据中心IP地址不能为空！", 1045, {1046}, 1, false},
    {0x21, "backupCentrePort", "备用数据中心端口", ValueFormat::WordBE, ReadKind::DecimalWordBE, WriteRule::Number, "数据中心端口不能为空！", 1047, {1048}, 1, false},
    {0x25, "customHeartbeatLength", "自定义心跳包长度", ValueFormat::Byte, ReadKind::DecimalByte, WriteRule::Number, "自定义心跳包长度不能为空！", 1075, {1076}, 1, false},
    {0x26, "customHeartbeat", "自定义心跳包", ValueFormat::HexBytes, ReadKind::Hex, WriteRule::HexText, "自定义心跳包不能为空！", 1077, {1078}, 1, false},
    {0x90, "dataChannel", "数据传输通道", ValueFormat::Byte, ReadKind::Digit, WriteRule::DataChannel, "请输入数据传输通道0或者1！", 1003, {1004}, 1, true},
    {0x91, "messageFilterMode", "消息过滤模式", ValueFormat::Byte, ReadKind::Digit, WriteRule::FilterMode, "请输入消息过滤模式0-仅发送不带时标的消息；1-仅发送代时标消息；2-两者都发送；3-两者都不发送", 1015, {1022}, 1, true},
    {0x92, "stationName", " 站名", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::StationName, "站点不能为空！", 1023, {1044}, 1, true},
    {0x93, "smsCentreNumber", "短信中心号码", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1049, {1050}, 1, true},
    {0x94, "superUserNumber", " 超级用户号码", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1051, {1071}, 1, true},
    {0x95, "superUserPassword", "超级用户密码", ValueFormat::PlainText, ReadKind::Text, WriteRule::Password, "密码长度为6，且不能为空", 1072, {1073}, 1, true},
    {0x96, "hostUserNumber", "主机用户号码", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1074, {1079}, 1, true},
    {0x97, "hostUserPassword", "主机用户密码", ValueFormat::PlainText, ReadKind::Text, WriteRule::Password, "密码长度为6，且不能为空", 1080, {1081}, 1, true},
    {0x98, "extensionUser1Number", "分机用户1号码", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1082, {1083}, 1, true},
    {0x99, "extensionUser1Password", "分机用户1密码", ValueFormat::PlainText, ReadKind::Text, WriteRule::Password, "密码长度为6，且不能为空", 1084, {1085}, 1, true},
    {0x9A, "extensionUser2Number", "分机用户2号码", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1086, {1087}, 1, true},
    {0x9B, "extensionUser2Password", "分机用户2密码", ValueFormat::PlainText, ReadKind::Text, WriteRule::Password, "密码长度为6，且不能为空", 1088, {1089}, 1, true},
    {0x9C, "extensionUser3Number", "分机用户3号码", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1090, {1091}, 1, true},
    {0x9D, "extensionUser3Password", "分机用户3密码", ValueFormat::PlainText, ReadKind::Text, WriteRule::Password, "密码长度为6，且不能为空", 1092, {1093}, 1, true},
    {0x9E, "messageBody1Name", "名称", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyName, "消息体名称不能为空！", 1094, {1095}, 1, true},
    {0x9F, "messageBody1Address", "地址", ValueFormat::WordLE, ReadKind::DecimalWordLE, WriteRule::Number, "消息体地址不能为空", 1096, {1097}, 1, true},
    {0xA0, "messageBody1State1", "状态1", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1098, {1099}, 1, true},
    {0xA1, "messageBody1State0", "状态0", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1100, {1101}, 1, true},
    {0xA2, "messageBody2Name", "名称", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyName, "消息体名称不能为空！", 1102, {1103}, 1, true},
    {0xA3, "messageBody2Address", "地址", ValueFormat::WordLE, ReadKind::DecimalWordLE, WriteRule::Number, "消息体地址不能为空", 1104, {1105}, 1, true},
    {0xA4, "messageBody2State1", "状态1", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1106, {1107}, 1, true},
    {0xA5, "messageBody2State0", "状态0", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1108, {1109}, 1, true},
    {0xA6, "messageBody3Name", "名称", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyName, "消息体名称不能为空！", 1110, {1111}, 1, true},
    {0xA7, "messageBody3Address", "地址", ValueFormat::WordLE, ReadKind::DecimalWordLE, WriteRule::Number, "消息体地址不能为空", 1112, {1113}, 1, true},
    {0xA8, "messageBody3State1", "状态1", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1162, {1163}, 1, true},
    {0xA9, "messageBody3State0", "状态0", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1164, {1165}, 1, true},
    {0xAA, "messageBody4Name", "名称", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyName, "消息体名称不能为空！", 1166, {1167}, 1, true},
    {0xAB, "messageBody4Address", "地址", ValueFormat::WordLE, ReadKind::DecimalWordLE, WriteRule::Number, "消息体地址不能为空", 1168, {1169}, 1, true},
    {0xAC, "messageBody4State1", "状态1", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1170, {1171}, 1, true},
    {0xAD, "messageBody4State0", "状态0", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1172, {1173}, 1, true},
    {0xAE, "messageBody5Name", "名称", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyName, "消息体名称不能为空！", 1174, {1175}, 1, true},
    {0xAF, "messageBody5Address", "地址", ValueFormat::WordLE, ReadKind::DecimalWordLE, WriteRule::Number, "消息体地址不能为空", 1176, {1177}, 1, true},
    {0xB0, "messageBody5State1", "状态1", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1178, {1179}, 1, true},
    {0xB1, "messageBody5State0", "状态0", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1180, {1181}, 1, true},
    {0xB2, "messageBody6Name", "名称", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyName, "消息体名称不能为空！", 1182, {1183}, 1, true},
    {0xB3, "messageBody6Address", "地址", ValueFormat::WordLE, ReadKind::DecimalWordLE, WriteRule::Number, "消息体地址不能为空", 1184, {1185}, 1, true},
    {0xB4, "messageBody6State1", "状态1", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1186, {1187}, 1, true},
    {0xB5, "messageBody6State0", "状态0", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1188, {1189}, 1, true},
    {0xB6, "messageBody7Name", "名称", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyName, "消息体名称不能为空！", 1190, {1191}, 1, true},
    {0xB7, "messageBody7Address", "地址", ValueFormat::WordLE, ReadKind::DecimalWordLE, WriteRule::Number, "消息体地址不能为空", 1192, {1193}, 1, true},
    {0xB8, "messageBody7State1", "状态1", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1194, {1195}, 1, true},
    {0xB9, "messageBody7State0", "状态0", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1196, {1197}, 1, true},
    {0xBA, "messageBody8Name", "名称", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyName, "消息体名称不能为空！", 1198, {1199}, 1, true},
    {0xBB, "messageBody8Address", "地址", ValueFormat::WordLE, ReadKind::DecimalWordLE, WriteRule::Number, "消息体地址不能为空", 1200, {1201}, 1, true},
    {0xBC, "messageBody8State1", "状态1", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1202, {1203}, 1, true},
    {0xBD, "messageBody8State0", "状态0", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1204, {1205}, 1, true},
    {0xBE, "messageBody9Name", "名称", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyName, "消息体名称不能为空！", 1206, {1207}, 1, true},
    {0xBF, "messageBody9Address", "地址", ValueFormat::WordLE, ReadKind::DecimalWordLE, WriteRule::Number, "消息体地址不能为空", 1208, {1209}, 1, true},
    {0xC0, "messageBody9State1", "状态1", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1306, {1307}, 1, true},
    {0xC1, "messageBody9State0", "状态0", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1308, {1309}, 1, true},
    {0xC2, "messageBody10Name", "名称", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyName, "消息体名称不能为空！", 1310, {1311}, 1, true},
    {0xC3, "messageBody10Address", "地址", ValueFormat::WordLE, ReadKind::DecimalWordLE, WriteRule::Number, "消息体地址不能为空", 1312, {1313}, 1, true},
    {0xC4, "messageBody10State1", "状态1", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1314, {1315}, 1, true},
    {0xC5, "messageBody10State0", "状态0", ValueFormat::DeviceText, ReadKind::Ucs2Text, WriteRule::BodyState, "消息体名称不能为空！", 1316, {1317}, 1, true},
    {0xC6, "deviceAddress", "设备地址", ValueFormat::WordLE, ReadKind::DecimalWordLE, WriteRule::Number, "消息体地址不能为空", 1318, {1319}, 1, true},
    {0xC7, "numberedField2", " 2", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1320, {1321}, 1, false},
    {0xC8, "numberedField3", " 3", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1322, {1323}, 1, false},
    {0xC9, "numberedField4", "4", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1324, {1325}, 1, false},
    {0xCA, "numberedField5", "5", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1326, {1327}, 1, false},
    {0xCB, "numberedField6", "6", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1328, {1329}, 1, false},
    {0xCC, "numberedField7", "7", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1330, {1331}, 1, false},
    {0xCE, "numberedField8", "8", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1332, {1333}, 1, false},
    {0xCF, "numberedField9", "9", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1334, {1335}, 1, false},
    {0xD0, "numberedField10", "10", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1336, {1337}, 1, false},
    {0xD1, "numberedField11", "11", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1338, {1339}, 1, false},
    {0xD2, "numberedField12", "12", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1340, {1341}, 1, false},
    {0xD3, "numberedField13", "13", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1342, {1343}, 1, false},
    {0xD4, "numberedField14", "14", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1344, {1345}, 1, false},
    {0xD5, "numberedField15", "15", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1346, {1347}, 1, false},
    {0xD6, "numberedField16", "16", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1348, {1349}, 1, false},
    {0xD7, "numberedField17", "17", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1350, {1351}, 1, false},
    {0xD8, "numberedField18", "18", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1352, {1353}, 1, false},
    {0xD9, "numberedField19", "19", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1354, {1355}, 1, false},
    {0xDA, "numberedField20", "20", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1356, {1357}, 1, false},
    {0xDB, "numberedField21", "21", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1358, {1359}, 1, false},
    {0xDC, "numberedField22", "22", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1360, {1361}, 1, false},
    {0xDD, "numberedField23", "23", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1362, {1363}, 1, false},
    {0xDE, "numberedField24", "24", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1364, {1365}, 1, false},
    {0xDF, "numberedField25", "25", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1366, {1367}, 1, false},
    {0xE0, "numberedField26", "26", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1368, {1369}, 1, false},
    {0xE1, "numberedField27", "27", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1370, {1371}, 1, false},
    {0xE2, "numberedField28", "28", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1372, {1373}, 1, false},
    {0xE3, "numberedField29", "29", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1374, {1375}, 1, false},
    {0xE4, "numberedField30", "30", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1376, {1377}, 1, false},
    {0xE5, "numberedField31", "31", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1378, {1379}, 1, false},
    {0xE6, "numberedField32", "32", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1380, {1381}, 1, false},
    {0xE7, "numberedField33", "33", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1382, {1383}, 1, false},
    {0xE8, "numberedField34", "34", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1384, {1385}, 1, false},
    {0xE9, "numberedField35", "35", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1386, {1387}, 1, false},
    {0xEA, "numberedField36", "36", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1388, {1389}, 1, false},
    {0xEB, "numberedField40", "40", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1390, {1391}, 1, false},
    {0xEC, "numberedField41", "41", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1392, {1393}, 1, false},
    {0xED, "numberedField42", "42", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1394, {1395}, 1, false},
    {0xEF, "numberedField37", "37", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1396, {1397}, 1, false},
    {0xF0, "numberedField38", "38", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1398, {1399}, 1, false},
    {0xF1, "numberedField39", "39", ValueFormat::PlainText, ReadKind::Text, WriteRule::TextEmptyAsZero, "", 1400, {1401}, 1, false},
}};
// clang-format on

constexpr bool typesAscend() {
    for (std::size_t i = 1; i < kItems.size(); ++i)
        if (kItems[i - 1].type >= kItems[i].type) return false;
    return true;
}
static_assert(typesAscend(), "item rows must stand in ascending type order");

}  // namespace

std::span<const ItemDef> ItemTable() {
    return kItems;
}

bool IsSecret(std::uint8_t type) {
    const ItemDef* def = FindItem(type);
    return def != nullptr && def->writeRule == WriteRule::Password;
}

const ItemDef* FindItem(std::uint8_t type) {
    const auto it = std::lower_bound(kItems.begin(), kItems.end(), type,
                                     [](const ItemDef& d, std::uint8_t t) { return d.type < t; });
    return it != kItems.end() && it->type == type ? &*it : nullptr;
}

const ItemDef* FindItemByCheckBox(int checkBoxId) {
    const auto it = std::find_if(kItems.begin(), kItems.end(), [&](const ItemDef& d) {
        return d.checkBoxId != 0 && d.checkBoxId == checkBoxId;
    });
    return it != kItems.end() ? &*it : nullptr;
}

const ItemDef* FindItemByValueControl(int controlId) {
    for (const ItemDef& d : kItems)
        for (int i = 0; i < d.valueCount; ++i)
            if (d.valueIds[static_cast<std::size_t>(i)] == controlId) return &d;
    return nullptr;
}

}  // namespace quill
