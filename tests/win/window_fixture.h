// What the Windows window tests share: the real window, created in this
// process and driven by control id with the messages an operator's actions
// send (BM_CLICK, WM_SETTEXT, CB_SETCURSEL), boxes and dialogs taken by the
// window's hooks instead of shown, and waits that pump the thread's messages
// until a condition holds or a deadline passes.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "win/dialog_template.h"
#include "win/tarnwell_dlg.h"

namespace quill::test {

// Generous, for sanitized builds on a shared machine: a wait returns as soon as its condition holds.
inline constexpr int kWaitMs = 20000;

// Runs the thread's messages until pred() holds or `ms` have passed; true when it held.
bool PumpUntil(const std::function<bool()>& pred, int ms = kWaitMs);
// Runs what is queued now, without waiting for more.
void PumpPending();

// The line a test runs on: the port list's built-in simulated DTU, or a COM
// port whose far end is the simulated DTU on a pseudo-terminal (the Wine test
// script maps it and names it by its number in QUILLMERE_TEST_COM).
enum class Line { Simulated, ComPort };
std::string LineName(const ::testing::TestParamInfo<Line>& info);
// A COM port named by its number in the environment ("5"), as the operator types it ("com5").
std::optional<std::string> ComPortFromEnv(const char* name);

struct BoxCall {
    std::wstring text;
    std::wstring caption;
    BoxIcon icon;
};

// The window's text for a control, through WM_GETTEXT as another program reads it.
std::wstring TextOf(HWND control);
std::wstring W(std::string_view utf8);

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // The control's window; null for a control the window never created.
    HWND item(int id) const { return window->control(id); }
    // A click as the operator makes it: the control must be there, shown and enabled.
    void click(int id);
    // Text typed into an edit; a control without a window takes it where the exchange reads it.
    void setText(int id, std::wstring_view text);
    // What the window shows, or for a control without a window what it keeps.
    std::wstring text(int id) const { return item(id) != nullptr ? TextOf(item(id)) : window->controlText(id); }
    bool enabled(int id) const { return window->isEnabled(id); }
    bool ticked(int id) const { return window->isTicked(id); }
    // The terminal band through its context-menu entry, as the operator opens and closes it.
    void toggleBand();
    // Selects a list entry as the operator does: the list reports the change to the window.
    void choose(int listId, int index);
    // How often a report stands in the information area (its carriage returns show nothing).
    int count(std::string_view report) const;
    bool waitCount(std::string_view report, int n = 1) {
        return PumpUntil([&] { return count(report) >= n; });
    }

    // Ports the list finds beyond com10; set before SetUp creates the window.
    std::vector<FoundPort> foundPorts;
    std::unique_ptr<win::CTarnwellDlg> window;
    std::vector<BoxCall> boxes;
    std::vector<std::string> dialogs;  // captions of the modal dialogs opened
};

}  // namespace quill::test
