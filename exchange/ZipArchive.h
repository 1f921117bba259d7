#pragma once
// Zip archives through libzip: reading the entries of one on disk within a budget, and making
// one in memory.
#include <deque>
#include <optional>
#include <string>

struct zip;
struct zip_source;

class ZipReader {
public:
    // Throws Exception when the file is no zip archive or a damaged one.
    explicit ZipReader(const std::string &path);
    ~ZipReader();
    ZipReader(const ZipReader &) = delete;
    ZipReader &operator=(const ZipReader &) = delete;

    // The index of the entry of that name, or nothing.
    std::optional<unsigned long long> Find(const std::string &name) const;
    // The size the archive gives for an entry.
    unsigned long long SizeOf(unsigned long long index) const;
    // An entry's bytes. Throws Exception when it claims, or turns out to hold, more than
    // `limit` bytes, or when it is damaged.
    std::string Read(unsigned long long index, unsigned long long limit) const;

private:
    [[noreturn]] void Damaged(const std::string &what) const;
    zip *archive = nullptr;
    std::string displayName;
};

class ZipWriter {
public:
    ZipWriter();
    ~ZipWriter();
    ZipWriter(const ZipWriter &) = delete;
    ZipWriter &operator=(const ZipWriter &) = delete;
    // Adds an entry, compressed or stored as it is (for media that are compressed already).
    void Add(const std::string &name, std::string bytes, bool compress);
    // The whole archive; the writer is spent afterwards.
    std::string Finish();

private:
    zip_source *buffer = nullptr;
    zip *archive = nullptr;
    std::deque<std::string> contents;   // libzip reads them when the archive is closed
};
