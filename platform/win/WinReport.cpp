#include "platform/win/WinReport.h"

#include <windows.h>

#include <cstdio>

namespace kelvo {

namespace {

std::string programName()
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string name(path, length);
    if (const auto slash = name.find_last_of("\\/"); slash != std::string::npos)
        name.erase(0, slash + 1);
    if (name.size() > 4 && _stricmp(name.c_str() + name.size() - 4, ".exe") == 0)
        name.resize(name.size() - 4);
    return name.empty() ? std::string("kelvo") : name;
}

} // namespace

void reportLine(const std::string& text)
{
    const std::string line = programName() + ": " + text + "\n";
    // One write per line, so that lines from other threads never interleave.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    OutputDebugStringA(line.c_str());
}

} // namespace kelvo
