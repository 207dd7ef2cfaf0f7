#include "window_fixture.h"

#include <chrono>
#include <cstdlib>

namespace quill::test {

bool PumpUntil(const std::function<bool()>& pred, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (true) {
        PumpPending();
        if (pred()) return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        // Sleeps only until a message arrives: the worker's posts and the timers wake it.
        MsgWaitForMultipleObjects(0, nullptr, FALSE,
                                  static_cast<DWORD>(std::min<long long>(left.count(), 50)), QS_ALLINPUT);
    }
}

void PumpPending() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::string LineName(const ::testing::TestParamInfo<Line>& info) {
    return info.param == Line::Simulated ? "Simulated" : "ComPort";
}

std::optional<std::string> ComPortFromEnv(const char* name) {
    const char* number = std::getenv(name);
    if (number == nullptr || *number == '\0' || std::string_view(number).find_first_not_of("0123456789") !=
                                                    std::string_view::npos)
        return std::nullopt;
    return "com" + std::string(number);
}

std::wstring TextOf(HWND control) {
    const auto length = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const auto copied = SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(copied));
    return text;
}

std::wstring W(std::string_view utf8) {
    return Widen(utf8);
}

void WindowTest::SetUp() {
    window = std::make_unique<win::CTarnwellDlg>();
    window->findPorts = [this] { return foundPorts; };
    window->messageBoxHook = [this](const std::wstring& text, const std::wstring& caption, BoxIcon icon) {
        boxes.push_back({text, caption, icon});
        return IDOK;
    };
    window->modalHook = [this](const DialogTemplate& layout) {
        dialogs.emplace_back(layout.caption);
        return static_cast<INT_PTR>(IDOK);
    };
    ASSERT_TRUE(window->Create());
    PumpPending();
}

void WindowTest::TearDown() {
    window.reset();
    PumpPending();
}

void WindowTest::click(int id) {
    const HWND control = item(id);
    ASSERT_NE(control, nullptr) << id;
    ASSERT_TRUE(IsWindowVisible(control)) << id;
    ASSERT_TRUE(IsWindowEnabled(control)) << id;
    SendMessageW(control, BM_CLICK, 0, 0);
}

void WindowTest::setText(int id, std::wstring_view value) {
    const std::wstring copy(value);
    if (item(id) == nullptr)
        window->setControlText(id, copy);
    else
        SendMessageW(item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str()));
}

void WindowTest::toggleBand() {
    SendMessageW(window->hwnd(), WM_COMMAND, MAKEWPARAM(win::kMenuTerminal, 0), 0);
}

void WindowTest::choose(int listId, int index) {
    SendMessageW(item(listId), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(window->hwnd(), WM_COMMAND, MAKEWPARAM(listId, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(item(listId)));
}

int WindowTest::count(std::string_view report) const {
    std::wstring wanted;
    for (const wchar_t c : W(report)) {
        if (c == L'\n')
            wanted += L"\r\n";
        else if (c != L'\r')
            wanted += c;
    }
    const std::wstring area = TextOf(item(kInfoAreaId));
    int found = 0;
    for (std::size_t at = area.find(wanted); at != std::wstring::npos;
         at = area.find(wanted, at + wanted.size()))
        ++found;
    return found;
}

}  // namespace quill::test
