#include "exchange/ZipArchive.h"

#include "platform/Exceptions.h"

#include <QFile>

#include <zip.h>

ZipReader::ZipReader(const std::string &path) : displayName(QFile::decodeName(path.c_str()).toStdString())
{
    int error = 0;
    archive = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (!archive) {
        if (error == ZIP_ER_OPEN || error == ZIP_ER_READ)
            RaiseLastInOutError();
        zip_error_t details;
        zip_error_init_with_code(&details, error);
        const std::string text = zip_error_strerror(&details);
        zip_error_fini(&details);
        throw Exception(displayName + " is not a zip archive that can be read (" + text + ")");
    }
}

ZipReader::~ZipReader()
{
    if (archive)
        zip_discard(archive);
}

void ZipReader::Damaged(const std::string &what) const
{
    throw Exception(displayName + " is damaged: " + what);
}

std::optional<unsigned long long> ZipReader::Find(const std::string &name) const
{
    const zip_int64_t index = zip_name_locate(archive, name.c_str(), ZIP_FL_ENC_RAW);
    if (index < 0)
        return std::nullopt;
    return (unsigned long long)index;
}

unsigned long long ZipReader::SizeOf(unsigned long long index) const
{
    zip_stat_t stat;
    if (zip_stat_index(archive, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE))
        Damaged(zip_strerror(archive));
    return stat.size;
}

std::string ZipReader::Read(unsigned long long index, unsigned long long limit) const
{
    const unsigned long long size = SizeOf(index);
    if (size > limit)
        throw Exception(displayName + " holds an entry that would take " + std::to_string(size >> 20) +
                        " MB, more than the " + std::to_string(limit >> 20) + " MB allowed; nothing was imported");
    zip_file_t *file = zip_fopen_index(archive, index, 0);
    if (!file)
        Damaged(zip_strerror(archive));
    std::string bytes(size, '\0');
    zip_int64_t got = 0;
    unsigned long long filled = 0;
    while (filled < size && (got = zip_fread(file, bytes.data() + filled, size - filled)) > 0)
        filled += (unsigned long long)got;
    // One byte more than the entry claims means it lies about its size.
    char extra;
    const bool longer = got >= 0 && filled == size && zip_fread(file, &extra, 1) > 0;
    const std::string error = got < 0 ? zip_file_strerror(file) : "";
    zip_fclose(file);
    if (got < 0)
        Damaged(error);
    if (filled != size || longer)
        Damaged("an entry does not hold the size it claims");
    return bytes;
}

ZipWriter::ZipWriter()
{
    zip_error_t error;
    zip_error_init(&error);
    buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (buffer) {
        zip_source_keep(buffer);
        archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    }
    const std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    if (!archive)
        throw Exception("A zip archive cannot be made: " + text);
}

ZipWriter::~ZipWriter()
{
    if (archive)
        zip_discard(archive);
    if (buffer)
        zip_source_free(buffer);
}

void ZipWriter::Add(const std::string &name, std::string bytes, bool compress)
{
    const std::string &kept = contents.emplace_back(std::move(bytes));
    zip_source_t *source = zip_source_buffer(archive, kept.data(), kept.size(), 0);
    const zip_int64_t index = source ? zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0) {
        if (source)
            zip_source_free(source);
        throw Exception(std::string("A zip archive cannot be made: ") + zip_strerror(archive));
    }
    zip_set_file_compression(archive, zip_uint64_t(index), compress ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
}

std::string ZipWriter::Finish()
{
    if (zip_close(archive) != 0)
        throw Exception(std::string("A zip archive cannot be made: ") + zip_strerror(archive));
    archive = nullptr;
    contents.clear();
    std::string bytes;
    if (zip_source_open(buffer) != 0)
        throw Exception("A zip archive cannot be made");
    zip_source_seek(buffer, 0, SEEK_END);
    bytes.resize(size_t(zip_source_tell(buffer)));
    zip_source_seek(buffer, 0, SEEK_SET);
    const zip_int64_t read = zip_source_read(buffer, bytes.data(), bytes.size());
    zip_source_close(buffer);
    if (read != zip_int64_t(bytes.size()))
        throw Exception("A zip archive cannot be made");
    return bytes;
}
