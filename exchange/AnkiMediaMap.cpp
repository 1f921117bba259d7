#include "exchange/AnkiMediaMap.h"

#include "exchange/ExchangeDeck.h"
#include "exchange/Zstd.h"
#include "platform/Exceptions.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdint>
#include <optional>
#include <string_view>

namespace {

[[noreturn]] void Damaged() { throw Exception("The media list of the package is damaged; nothing was imported"); }

// The fields of a protocol buffer message that this reader needs: numbers and bytes.
class ProtobufReader {
public:
    explicit ProtobufReader(std::string_view bytes) : rest(bytes) {}
    bool AtEnd() const { return rest.empty(); }

    uint64_t Varint()
    {
        uint64_t value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (rest.empty())
                Damaged();
            const auto byte = static_cast<unsigned char>(rest.front());
            rest.remove_prefix(1);
            value |= uint64_t(byte & 0x7F) << shift;
            if (!(byte & 0x80))
                return value;
        }
        Damaged();
    }
    // The next field's number and wire type.
    std::pair<uint64_t, int> Key()
    {
        const uint64_t key = Varint();
        return {key >> 3, int(key & 7)};
    }
    std::string_view Bytes()
    {
        const uint64_t size = Varint();
        if (size > rest.size())
            Damaged();
        const std::string_view bytes = rest.substr(0, size);
        rest.remove_prefix(size);
        return bytes;
    }
    // Passes over a field this reader does not need.
    void Skip(int wireType)
    {
        const size_t fixed = wireType == 1 ? 8 : wireType == 5 ? 4 : 0;
        if (wireType == 0)
            Varint();
        else if (wireType == 2)
            Bytes();
        else if (fixed == 0 || rest.size() < fixed)
            Damaged();
        else
            rest.remove_prefix(fixed);
    }

private:
    std::string_view rest;
};

QHash<QString, std::string> FromProtobuf(std::string_view bytes)
{
    QHash<QString, std::string> map;
    ProtobufReader entries(bytes);
    for (uint64_t position = 0; !entries.AtEnd();) {
        const auto [field, wireType] = entries.Key();
        if (field != 1 || wireType != 2) {
            entries.Skip(wireType);
            continue;
        }
        ProtobufReader entry(entries.Bytes());
        QString name;
        std::optional<uint64_t> archiveEntry;
        while (!entry.AtEnd()) {
            const auto [entryField, entryType] = entry.Key();
            if (entryField == 1 && entryType == 2) {
                const std::string_view text = entry.Bytes();
                name = QString::fromUtf8(text.data(), qsizetype(text.size()));
            } else if (entryField == 255 && entryType == 0) {
                archiveEntry = entry.Varint();
            } else {
                entry.Skip(entryType);
            }
        }
        map.insert(name, std::to_string(archiveEntry.value_or(position)));
        ++position;
    }
    return map;
}

QHash<QString, std::string> FromJson(const std::string &bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromRawData(bytes.data(), qsizetype(bytes.size())), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        Damaged();
    QHash<QString, std::string> map;
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it)
        if (it.value().isString())
            map.insert(it.value().toString(), it.key().toStdString());
    return map;
}

} // namespace

QHash<QString, std::string> ReadAnkiMediaMap(const std::string &bytes)
{
    if (IsZstdFrame(bytes))
        return FromProtobuf(ZstdDecompressed(bytes, MediumBudget, "The media list of the package"));
    return FromJson(bytes);
}
