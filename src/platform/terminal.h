#pragma once
#include <string_view>

// The terminal the program's diagnostics go to (standard error).
namespace platform {

// True when standard error is an interactive terminal (not a file or a pipe).
bool IsErrorStreamTerminal();
// The width of that terminal in columns; 0 when it is not a terminal or the width is unknown.
int ErrorStreamColumns();
// Writes UTF-8 bytes to standard error at once, unbuffered (interrupted writes are resumed).
void WriteToErrorStream(std::string_view bytes);

}  // namespace platform
