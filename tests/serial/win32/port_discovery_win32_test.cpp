// Port discovery from the registry's device map, with a port of our own in it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "serial/port_discovery.h"

namespace quill {
namespace {

constexpr const wchar_t* kDeviceMap = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const wchar_t* kValue = L"\\Device\\QuillmereTestPort";

// Adds a COM name to the device map for the life of the object, as a driver would.
class MappedPort {
  public:
    explicit MappedPort(const std::wstring& com) {
        if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kDeviceMap, 0, nullptr, REG_OPTION_VOLATILE, KEY_SET_VALUE,
                              nullptr, &key_, nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        const auto bytes = static_cast<DWORD>((com.size() + 1) * sizeof(wchar_t));
        added_ = ::RegSetValueExW(key_, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(com.c_str()),
                                  bytes) == ERROR_SUCCESS;
    }
    ~MappedPort() {
        if (added_) ::RegDeleteValueW(key_, kValue);
        if (key_ != nullptr) ::RegCloseKey(key_);
    }
    bool added() const { return added_; }

  private:
    HKEY key_ = nullptr;
    bool added_ = false;
};

TEST(FindSerialPorts, ListsTheComNamesOfTheDeviceMapInOrder) {
    const std::vector<FoundPort> before = FindSerialPorts();
    {
        MappedPort port(L"COM42");
        if (!port.added()) GTEST_SKIP() << "the device map cannot be written here (no administrator)";
        const std::vector<FoundPort> found = FindSerialPorts();
        EXPECT_EQ(found.size(), before.size() + 1);
        EXPECT_NE(std::find(found.begin(), found.end(), FoundPort{"COM42", ""}), found.end());
        EXPECT_EQ(SortedPorts(found), found);
    }
    EXPECT_EQ(FindSerialPorts(), before);
}

}  // namespace
}  // namespace quill
