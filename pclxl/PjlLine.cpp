#include "PjlLine.h"

#include <cctype>

namespace {
bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}
} // namespace

PjlLine readPjlLine(const std::string& line)
{
    size_t at = 0;
    const auto blanks = [&line, &at] {
        while (at < line.size() && isBlank(line[at]))
            ++at;
    };
    const auto word = [&line, &at] {
        std::string upper;
        for (; at < line.size() && std::isalpha(static_cast<unsigned char>(line[at])); ++at)
            upper += char(std::toupper(static_cast<unsigned char>(line[at])));
        return upper;
    };
    if (at < line.size() && line[at] == '@')
        ++at;
    PjlLine read;
    read.command = word();
    if (read.command == "PJL") {
        blanks();
        read.command = word();
    }
    blanks();
    read.variable = word();
    blanks();
    if (at < line.size() && line[at] == '=') {
        ++at;
        read.assigns = true;
        blanks();
        const size_t lineFeed = line.find('\n', at);
        read.value = line.substr(at, lineFeed == std::string::npos ? std::string::npos : lineFeed - at);
    }
    return read;
}
