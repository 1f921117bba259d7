#pragma once
// The desktop's "open" action for a file or a web address: returns at once, the opened
// program runs on its own, and the result is not examined.
#include <string>

void ShellOpenFile(const std::string &path);      // path as the file system's bytes
void ShellOpenAddress(const std::string &address);
