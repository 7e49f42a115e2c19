#include "platform/win32/CommandLine.h"

namespace win32 {

std::wstring quoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes are literal unless a quote follows them.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

std::wstring commandLine(const std::wstring& program, const std::vector<std::wstring>& arguments) {
    if (program.empty() || program.find(L'"') != std::wstring::npos)
        return {};
    std::wstring line =
        program.find_first_of(L" \t") == std::wstring::npos ? program : L"\"" + program + L"\"";
    for (const std::wstring& argument : arguments)
        line += L" " + quoteArgument(argument);
    return line;
}

} // namespace win32
