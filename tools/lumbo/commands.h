// The lumbo commands. Each takes the arguments after its name and returns
// the process exit status.
#pragma once

namespace lumbo_tool {

// Exit statuses shared by every command.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;     // a file that cannot be read or written
constexpr int kExitRejected = 2;    // the loader refused the module
constexpr int kExitUsage = 64;      // the command line is wrong

int RenderCommand(int argc, char** argv);

}  // namespace lumbo_tool
