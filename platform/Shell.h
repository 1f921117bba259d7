#pragma once
// The desktop's "open" action for a web address: returns at once, the browser runs on its
// own, and the result is not examined.
#include <string>

void ShellOpenAddress(const std::string &address);
