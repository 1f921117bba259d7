#pragma once
// The media of a file that names them by path (KVTML, plain text): paths and file: URLs,
// relative ones resolved against the file's folder.
#include "exchange/ExchangeDeck.h"

// The bytes of a regular file of at most `limit` bytes; throws Exception when it is larger,
// EInOutError when it cannot be read.
std::string ReadFileWithin(const std::string &path, unsigned long long limit);

class FolderMedia : public MediaSource {
public:
    explicit FolderMedia(const std::string &sourcePath);
    std::optional<std::string> Read(const std::string &reference) override;
    // The file a reference names, as the file system's bytes ("" for none).
    std::string PathOf(const std::string &reference) const;

private:
    QString folder;
};
