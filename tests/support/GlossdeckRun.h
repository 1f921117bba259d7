#pragma once
// Runs the glossdeck tool built beside the test program, as a user runs it.
#include <QStringList>

#include <string>

struct ToolRun {
    int code;   // -1 when it did not end normally
    std::string out, err;
};

ToolRun Glossdeck(const QStringList &args);
