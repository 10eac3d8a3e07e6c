// The lumbo commands. Each takes the arguments after its name and returns
// the process exit status.
#pragma once

namespace lumbo_tool {

// Exit statuses shared by every command.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;     // a file that cannot be read or written
constexpr int kExitRejected = 2;    // the loader refused the module
constexpr int kExitNoDevice = 3;    // no audio output device could be opened
constexpr int kExitUsage = 64;      // the command line is wrong

int RenderCommand(int argc, char** argv);
int PlayCommand(int argc, char** argv);
int InfoCommand(int argc, char** argv);

}  // namespace lumbo_tool
