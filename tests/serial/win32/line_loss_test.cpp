// The simulated DTU's pseudo-terminal closes while the worker waits on the
// COM port mapped to it: one loss report, and the process stays idle while
// it waits, before and after. scripts/test-windows.sh runs this program on
// its own: it closes the line when the test prints kCloseNow.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "tests/serial/win32/line_fixture.h"

namespace quill {
namespace {

using namespace std::chrono_literals;
using test::LineTest;
using test::TestOwner;

constexpr const char* kCloseNow = "QUILLMERE-CLOSE-THE-LINE-NOW";

// User and kernel time of this process, in ms.
double ProcessCpuMs() {
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
    const auto ms = [](FILETIME t) {
        return static_cast<double>(static_cast<ULONGLONG>(t.dwHighDateTime) << 32 | t.dwLowDateTime) /
               10000.0;
    };
    return ms(kernel) + ms(user);
}

TEST_F(LineTest, ClosingTheLineMidWaitIsReportedOnceAndNothingSpins) {
    constexpr double kIdleCpuMs = 100;  // for a second of waiting
    ASSERT_TRUE(openAndAnnounce());

    // A second with nothing on the line: the worker blocks in its wait.
    double cpu = ProcessCpuMs();
    EXPECT_FALSE(owner.waitFor([](TestOwner& o) { return o.lostCountUnlocked() > 0; }, 1s));
    const double waitingCpu = ProcessCpuMs() - cpu;

    std::printf("%s\n", kCloseNow);
    std::fflush(stdout);
    ASSERT_TRUE(owner.waitFor([](TestOwner& o) { return o.lostCountUnlocked() > 0; }, 30s));
    EXPECT_FALSE(port.IsOpen());

    // A second after the loss: no second report, and no loop left running.
    cpu = ProcessCpuMs();
    EXPECT_FALSE(owner.waitFor([](TestOwner& o) { return o.lostCountUnlocked() > 1; }, 1s));
    const double afterCpu = ProcessCpuMs() - cpu;

    EXPECT_EQ(owner.lost(), std::vector<std::uint32_t>{comNumber()});
    EXPECT_TRUE(owner.errors().empty());
    EXPECT_FALSE(port.StartWorker());
    std::printf("CPU time: %.1f ms in the second before the loss, %.1f ms in the second after it\n",
                waitingCpu, afterCpu);
    EXPECT_LT(waitingCpu, kIdleCpuMs);
    EXPECT_LT(afterCpu, kIdleCpuMs);
}

}  // namespace
}  // namespace quill
