#pragma once
// Values by word, for the Items of a review log: an open-addressing table of indices into a list
// that never moves its entries, so that the lookup for each line of a large log costs about one
// memory access, and a value found stays where it is while others are added.
#include <bit>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <algorithm>
#include <vector>

template <typename Value>
class WordTable {
public:
    struct Entry {
        uint64_t hash;
        std::string word;
        Value value;
    };

    static uint64_t Hash(std::string_view word) { return std::hash<std::string_view>()(word); }

    const Value *Find(std::string_view word) const { return Find(word, Hash(word)); }
    const Value *Find(std::string_view word, uint64_t hash) const
    {
        for (size_t slot = hash & mask; !buckets.empty() && buckets[slot] != 0; slot = (slot + 1) & mask) {
            const Entry &entry = entries[buckets[slot] - 1];
            if (entry.hash == hash && entry.word == word)
                return &entry.value;
        }
        return nullptr;
    }
    Value *Find(std::string_view word) { return const_cast<Value *>(std::as_const(*this).Find(word)); }

    // The value of the word, made empty when the word is new.
    Value &Get(std::string_view word, bool &added) { return Get(word, Hash(word), added); }
    Value &Get(std::string_view word, uint64_t hash, bool &added)
    {
        added = false;
        if (const Value *found = Find(word, hash))
            return const_cast<Value &>(*found);
        if ((entries.size() + 1) * 2 > buckets.size())
            Rehash(std::max<size_t>(64, buckets.size() * 2));
        entries.push_back({hash, std::string(word), Value{}});
        Place(hash, uint32_t(entries.size()));
        added = true;
        return entries.back().value;
    }

    // Lookups of many words run faster when the memory of each is asked for ahead: first its
    // bucket, a little later the entry the bucket names.
    void PrefetchBucket(uint64_t hash) const
    {
        if (!buckets.empty())
            __builtin_prefetch(&buckets[hash & mask]);
    }
    void PrefetchEntry(uint64_t hash) const
    {
        if (!buckets.empty() && buckets[hash & mask] != 0)
            __builtin_prefetch(&entries[buckets[hash & mask] - 1]);
    }

    void Reserve(size_t count)
    {
        if (count * 2 > buckets.size())
            Rehash(std::bit_ceil(count * 2));
    }
    void Clear()
    {
        entries.clear();
        buckets.clear();
        mask = 0;
    }
    const std::deque<Entry> &Entries() const { return entries; }
    std::deque<Entry> &Entries() { return entries; }

private:
    void Place(uint64_t hash, uint32_t index)
    {
        size_t slot = hash & mask;
        while (buckets[slot] != 0)
            slot = (slot + 1) & mask;
        buckets[slot] = index;
    }
    void Rehash(size_t size)
    {
        buckets.assign(size, 0);
        mask = size - 1;
        for (size_t i = 0; i < entries.size(); ++i)
            Place(entries[i].hash, uint32_t(i + 1));
    }

    std::deque<Entry> entries;
    std::vector<uint32_t> buckets;   // index + 1 into entries; 0 for a free slot
    size_t mask = 0;
};
