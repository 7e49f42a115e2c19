#pragma once

#include <string>
#include <vector>

// Windows hands a child one command line, and the C runtime of the child splits it again
// (CommandLineToArgvW rules). These functions build a command line that splits back into exactly the
// given words. Plain C++ without Win32, so the rules are tested on every platform.
namespace win32 {

// One argument in the form the child's runtime reads back unchanged: left alone when it has no blank,
// tab, newline or quote and is not empty; otherwise enclosed in quotes, with each quote escaped and the
// backslashes before a quote (or before the closing quote) doubled.
std::wstring quoteArgument(const std::wstring& argument);

// The program name is read by other rules (no escapes, up to the next quote or blank): it is quoted
// when it holds a blank or tab. Empty when the program name holds a quote, which no command line
// can carry.
std::wstring commandLine(const std::wstring& program, const std::vector<std::wstring>& arguments);

} // namespace win32
