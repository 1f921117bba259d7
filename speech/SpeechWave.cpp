#include "speech/SpeechWave.h"

namespace {
void Put(std::string &bytes, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes += char((value >> (8 * i)) & 0xFF);
}
} // namespace

std::string WaveFileBytes(const std::vector<int16_t> &samples, int sampleRate)
{
    const uint32_t dataSize = uint32_t(samples.size() * 2);
    std::string bytes = "RIFF";
    Put(bytes, 36 + dataSize, 4);
    bytes += "WAVEfmt ";
    Put(bytes, 16, 4);                        // the size of the format chunk
    Put(bytes, 1, 2);                         // PCM
    Put(bytes, 1, 2);                         // mono
    Put(bytes, uint32_t(sampleRate), 4);
    Put(bytes, uint32_t(sampleRate) * 2, 4);  // bytes per second
    Put(bytes, 2, 2);                         // bytes per frame
    Put(bytes, 16, 2);                        // bits per sample
    bytes += "data";
    Put(bytes, dataSize, 4);
    bytes.reserve(bytes.size() + dataSize);
    for (int16_t sample : samples)
        Put(bytes, uint16_t(sample), 2);
    return bytes;
}
