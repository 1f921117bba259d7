#pragma once
// The folder beside a new Deck that takes the media an import brings ("words.media" beside
// "words.gsd"). Nothing is ever written outside it: every medium gets a plain name of its own in
// it, whatever name the source gave. Unless the import is kept, what was written goes again,
// the folder too when the import made it.
#include <string>
#include <vector>

class MediaFolder {
public:
    explicit MediaFolder(const std::string &deckPath);
    ~MediaFolder();
    MediaFolder(const MediaFolder &) = delete;
    MediaFolder &operator=(const MediaFolder &) = delete;

    // Writes a medium under a safe name made from `name`; its path relative to the Deck's folder.
    std::string Add(const std::string &name, const std::string &bytes);
    // Makes everything written last across a power cut (before the Deck that names it is written).
    void Sync();
    // The import succeeded: what was written stays.
    void Keep() { kept = true; }
    int Count() const { return int(written.size()); }
    const std::string &Path() const { return folder; }

private:
    void Open();
    std::string folder;      // the file system's bytes
    std::string folderName;  // its last part, as the Deck names it
    int descriptor = -1;
    bool made = false;
    bool kept = false;
    std::vector<std::string> written;
};

// A name for a medium that stays inside its folder and fits a Deck field: the last part of the
// given name, without leading dots, line breaks, control characters or "¶", shortened to a
// length every file system takes.
std::string SafeMediumName(const std::string &name);
// "name (2).png" for the second medium called "name.png".
std::string NumberedName(const std::string &name, int number);
