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

// File names. A path the program only holds (working file, recent list, command line, program
// folder) keeps the file system's own bytes. A path stored in a Deck field is code-page text like
// every other field, and is turned into the file system's bytes only to open the file.
std::string NativePath(const QString &path);                   // a name from Qt, as file system bytes
QString PathFromNative(const std::string &path);               // for widgets and Qt's file classes
std::string DisplayPath(const std::string &path);              // a held path in a message text
QString PathFromAnsi(const std::string &fieldPath);            // a Deck field's path, for Qt
std::string NativeFromAnsiPath(const std::string &fieldPath);  // a Deck field's path, to open it
