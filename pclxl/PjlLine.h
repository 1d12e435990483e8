#pragma once

#include <string>

// One PJL command line as a printer reads it: "@PJL", a command word and, for SET, a variable, "=" and a
// value. Words are not case sensitive and blanks may surround the "=". The "@" may be missing (the reader
// keeps lines without it), and so may the "PJL" keyword.
struct PjlLine
{
    std::string command;  // upper case ("SET", "ENTER", "COMMENT", ...); empty when the line has none
    std::string variable; // upper case; what SET or ENTER names
    bool assigns = false; // an "=" follows the variable
    std::string value;    // the text after "=" and its blanks, up to the line feed
};

PjlLine readPjlLine(const std::string& line);
