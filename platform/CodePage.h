#pragma once
// The 8-bit ANSI code page at the boundary between the program's byte strings (Deck fields,
// settings values, paths) and the text that widgets and the file system use.
#include <QString>
#include <string>

// The code page in use: chosen from the user's locale at first use (1252 unless the locale's
// language has a code page of its own), or set by SetAnsiCodePage.
int AnsiCodePage();
void SetAnsiCodePage(int codePage);  // throws Exception when iconv does not know it

// Bytes to text: every byte has a character (unassigned bytes map to their own code point).
QString FromAnsi(const std::string &bytes);
// Text to bytes; false when a character has no byte in the code page.
bool TryToAnsi(const QString &text, std::string &bytes);
// Text to bytes, with '?' for characters the code page lacks (display-only uses).
std::string ToAnsiLossy(const QString &text);

// File names: the bytes of a path as the program holds them, and back.
QString PathFromAnsi(const std::string &path);
