#pragma once
// The desktop's "open" action for a file or a web address: returns at once, the opened
// program runs on its own, and the result is not examined.
#include <string>

void ShellOpenFile(const std::string &path);      // path in the program's code page
void ShellOpenAddress(const std::string &address);
