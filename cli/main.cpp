// quillmere-cli: see cli/run_cli.h.
#include <iostream>
#include <string>
#include <vector>

#include "cli/platform.h"
#include "cli/run_cli.h"

int main(int argc, char** argv) {
    quill::cli::PrepareConsole();
    quill::cli::WatchInterrupts(quill::cli::RequestInterrupt);
    const std::vector<std::string> args(argv + 1, argv + argc);
    return quill::cli::RunCli(args, std::cout, std::cerr, quill::cli::StderrIsTerminal());
}
