#pragma once
// Speech as the bytes of a wave file (RIFF/WAVE, 16-bit PCM, mono), to be written whole.
#include <cstdint>
#include <string>
#include <vector>

std::string WaveFileBytes(const std::vector<int16_t> &samples, int sampleRate);
