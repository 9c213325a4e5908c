#pragma once
// Messages for people from the Windows backends, which have no Qt to log through.

#include <string>

namespace kelvo {

// Writes "PROGRAM: text" where people can read it on Windows: to standard
// error when the program has one (started from a console, or with its output
// redirected), and always to the debugger's output (OutputDebugString, which
// debuggers and DebugView show), since a windowed program has no console.
void reportLine(const std::string& text);

} // namespace kelvo
