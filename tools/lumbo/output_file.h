// Where rendered audio goes: a file that appears only once it is complete,
// or standard output.
#pragma once
#include <cstddef>
#include <string>

namespace lumbo_tool {

struct OutputFile {
    std::string path;       // as the user gave it; "-" for standard output
    std::string writePath;  // the file being written: a temporary beside path, or path itself
    int         fd;         // -1 when closed
    bool        replaces;   // writePath is renamed over path when finished
};

// Opens path for writing. A regular (or not yet existing) file is written
// under a temporary name in the same directory and renamed into place by
// FinishOutput, so a failed run never leaves a half-written file; devices and
// pipes are written directly, "-" is standard output. On failure prints
// "lumbo: PATH: REASON" and returns false.
bool OpenOutputFile(const std::string& path, OutputFile* file);

// Writes all bytes; on failure prints the reason and returns false.
bool WriteOutput(OutputFile* file, const void* bytes, size_t size);

// Overwrites the first size bytes already written (a header whose length
// is known only at the end); only for a file under a temporary name, which
// starts at its first byte. On failure prints the reason and returns false.
bool RewriteOutputStart(OutputFile* file, const void* bytes, size_t size);

// Closes the file and moves it into place; on failure prints the reason,
// removes what was written and returns false.
bool FinishOutput(OutputFile* file);

// Closes and removes what was written (standard output is left as it is).
void AbandonOutput(OutputFile* file);

}  // namespace lumbo_tool
