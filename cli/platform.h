// What the command line needs from the operating system, behind a few small
// functions: one implementation file per platform (platform_posix.cpp), chosen
// by the build, so that nothing else in cli/ includes a platform header.
#pragma once

#include <functional>
#include <string>

namespace quill::cli {

// Makes the console show UTF-8 text and the escape that clears a progress
// line. Call once at start.
void PrepareConsole();

// The standard error stream is a terminal (a progress line may be drawn on it).
bool StderrIsTerminal();

// From here on, Ctrl-C and a termination request call onInterrupt on a thread
// of their own instead of ending the process. Call once, before any other
// thread starts.
void WatchInterrupts(std::function<void()> onInterrupt);

// The port's device may be there: a path that exists (POSIX), a COM name the
// system maps (Windows). An open then tells for sure.
bool PortPresent(const std::string& port);

}  // namespace quill::cli
