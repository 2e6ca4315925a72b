#pragma once
#include <string>

// The wizard is a program of its own beside the command-line one, so that a build or a capture
// from the command line does not load the window system's libraries.
namespace platform {

// Runs the program `fileName` (".exe" is added on Windows) that lies in the folder of the running
// program, with the running program's arguments, and returns its exit status.
//
// Wine: the running process becomes that program (exec), so this returns only when it could not be
// started: -1, with `error` saying why.
// Windows: the program is started with the same command line and waited for; -1 with `error` when
// it could not be started.
int RunProgramBeside(const char* fileName, char** argv, std::string& error);

}  // namespace platform
