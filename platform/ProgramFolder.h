#pragma once
// Where the program keeps its scratch Deck and its settings: the folder of the program file
// (portable use), or the desktop's per-user folders when that folder cannot be written. Paths
// are the file system's own bytes.
#include <string>

std::string ProgramFilePath();
std::string ProgramFolder();                     // no trailing slash
void SetProgramFolderForTesting(const std::string &folder);

std::string ScratchFilePath();                   // .../tempfile.gsd
std::string SettingsFilePath();                  // .../glossad.ini

// The user's data folder of the desktop: XDG_DATA_HOME when it is an absolute path, else
// ~/.local/share (no trailing slash).
std::string UserDataFolder();

// The folder part of a path ("" when it has none) and the name part.
std::string ExtractFilePath(const std::string &path);   // with the trailing slash
std::string ExtractFileName(const std::string &path);
