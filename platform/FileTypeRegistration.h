#pragma once
// Makes the desktop open Deck files with this program: a shared-mime-info package that maps
// *.gsd to the Deck type, a desktop entry whose command passes the file as one argument, and
// the Deck-file icon, all in the user's data folder. Entries that exist are left alone.
#include <string>

// The MIME type of Deck files.
extern const char *const DeckMimeType;

struct FileTypeRegistration {
    std::string dataFolder;      // XDG_DATA_HOME, else ~/.local/share
    std::string programPath;     // full path of the program file

    std::string MimePackagePath() const;
    std::string DesktopEntryPath() const;
    std::string DeckIconPath() const;
    std::string ProgramIconPath() const;

    // Writes everything unless both the MIME package and the desktop entry exist; then has the
    // desktop's tools (when installed) refresh its databases, and waits for them, ten seconds
    // at most. A file that cannot be written raises "Failed to set data for '%s'" with its path.
    // Returns true when it wrote the entries.
    bool Register() const;
};

// The registration for the running program and the current user.
FileTypeRegistration CurrentFileTypeRegistration();
