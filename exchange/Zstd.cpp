#include "exchange/Zstd.h"

#include "platform/Exceptions.h"

#include <memory>
#include <zstd.h>

bool IsZstdFrame(std::string_view bytes) { return bytes.substr(0, 4) == std::string_view("\x28\xB5\x2F\xFD", 4); }

std::string ZstdDecompressed(std::string_view bytes, unsigned long long limit, const std::string &what)
{
    const std::unique_ptr<ZSTD_DStream, size_t (*)(ZSTD_DStream *)> stream(ZSTD_createDStream(), ZSTD_freeDStream);
    if (!stream)
        throw std::bad_alloc();
    std::string out;
    std::string chunk(ZSTD_DStreamOutSize(), '\0');
    ZSTD_inBuffer input{bytes.data(), bytes.size(), 0};
    size_t pending = 1;
    while (input.pos < input.size || pending != 0) {
        ZSTD_outBuffer output{chunk.data(), chunk.size(), 0};
        const size_t before = input.pos;
        pending = ZSTD_decompressStream(stream.get(), &output, &input);
        if (ZSTD_isError(pending))
            throw Exception(what + " is damaged (" + ZSTD_getErrorName(pending) + ")");
        if (out.size() + output.pos > limit)
            throw Exception(what + " would take more than " + std::to_string(limit >> 20) +
                            " MB; nothing was imported");
        out.append(chunk.data(), output.pos);
        if (input.pos == input.size && output.pos == 0 && before == input.pos && pending != 0)
            throw Exception(what + " is cut short");
    }
    return out;
}
