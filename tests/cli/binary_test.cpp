// The installed program itself, as a script runs it: its exit code and what
// it prints on stdout (messages on stderr are left out).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "sim/dtu_server.h"

namespace {

struct Ran {
    int code = -1;
    std::string out;
};

Ran RunProgram(const std::string& arguments) {
    const std::string command = std::string(QUILLMERE_CLI_PATH) + " " + arguments + " 2>/dev/null";
    Ran ran;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return ran;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) ran.out.append(buffer, n);
    const int status = ::pclose(pipe);
    if (WIFEXITED(status)) ran.code = WEXITSTATUS(status);
    return ran;
}

TEST(CliProgramTest, ReadsTheSimulatedDtuAndExitsZero) {
    quill::DtuServer server;
    ASSERT_TRUE(server.start());
    const Ran ran = RunProgram("read --port " + server.devicePath());
    EXPECT_EQ(ran.code, 0);
    EXPECT_NE(ran.out.find("DTU编号\t20240517001\n"), std::string::npos) << ran.out;
    EXPECT_NE(ran.out.find("站名\t城东变电站\n"), std::string::npos) << ran.out;
}

TEST(CliProgramTest, ExitCodesOfAMissingPortAndOfBadArguments) {
    EXPECT_EQ(RunProgram("read --port /nonexistent/ttyNONE --timeout 1").code, 4);
    EXPECT_EQ(RunProgram("read --timeout 1").code, 2);
    EXPECT_EQ(RunProgram("--help").code, 0);
}

}  // namespace
