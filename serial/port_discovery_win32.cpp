// Serial ports on Windows: the COM names that the drivers publish under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, each with the friendly name that
// SetupAPI keeps for the port's device ("USB Serial Port (COM5)") where
// there is one. Ports without a device entry (virtual ports, Wine's mapped
// ports) are listed without a name.
#include <windows.h>
// After <windows.h>: these need its types. GUID_DEVCLASS_PORTS itself comes
// from the toolchain's uuid library.
#include <devguid.h>
#include <setupapi.h>

#include <map>
#include <string_view>

#include "serial/port_discovery.h"
#include "serial/wide_text_win32.h"

namespace quill {
namespace {

// A registry string as stored, without the terminator(s) it may or may not carry.
std::wstring RegistryText(const std::vector<wchar_t>& data, DWORD bytes) {
    std::wstring text(data.data(), std::min<std::size_t>(bytes / sizeof(wchar_t), data.size()));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

std::vector<std::wstring> ComNamesFromDeviceMap() {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return names;
    }
    DWORD valueCount = 0;
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &valueCount,
                           &longestName, &longestData, nullptr, nullptr) == ERROR_SUCCESS) {
        std::vector<wchar_t> valueName(longestName + 1);
        std::vector<wchar_t> data(longestData / sizeof(wchar_t) + 1);
        for (DWORD i = 0; i < valueCount; ++i) {
            DWORD nameLength = static_cast<DWORD>(valueName.size());
            DWORD type = 0;
            DWORD bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
            if (::RegEnumValueW(key, i, valueName.data(), &nameLength, nullptr, &type,
                                reinterpret_cast<BYTE*>(data.data()), &bytes) != ERROR_SUCCESS ||
                type != REG_SZ) {
                continue;
            }
            std::wstring name = RegistryText(data, bytes);
            if (!name.empty()) names.push_back(std::move(name));
        }
    }
    ::RegCloseKey(key);
    return names;
}

// COM name -> friendly name of every present port device that has both.
std::map<std::wstring, std::wstring> FriendlyNamesByPort() {
    std::map<std::wstring, std::wstring> names;
    const HDEVINFO devices = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) return names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        const HKEY key = ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        std::vector<wchar_t> port(64);
        DWORD type = 0;
        DWORD bytes = static_cast<DWORD>(port.size() * sizeof(wchar_t));
        const bool hasPort =
            ::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(port.data()),
                               &bytes) == ERROR_SUCCESS &&
            type == REG_SZ;
        ::RegCloseKey(key);
        if (!hasPort) continue;
        std::vector<wchar_t> friendly(256);
        DWORD friendlyBytes = 0;
        if (!::SetupDiGetDeviceRegistryPropertyW(
                devices, &device, SPDRP_FRIENDLYNAME, &type, reinterpret_cast<BYTE*>(friendly.data()),
                static_cast<DWORD>(friendly.size() * sizeof(wchar_t)), &friendlyBytes)) {
            continue;
        }
        names[RegistryText(port, bytes)] = RegistryText(friendly, friendlyBytes);
    }
    ::SetupDiDestroyDeviceInfoList(devices);
    return names;
}

}  // namespace

std::vector<FoundPort> FindSerialPorts() {
    const std::map<std::wstring, std::wstring> friendly = FriendlyNamesByPort();
    std::vector<FoundPort> ports;
    for (const std::wstring& com : ComNamesFromDeviceMap()) {
        const auto named = friendly.find(com);
        ports.push_back({Narrow(com), named != friendly.end() ? Narrow(named->second) : std::string()});
    }
    return SortedPorts(std::move(ports));
}

}  // namespace quill
