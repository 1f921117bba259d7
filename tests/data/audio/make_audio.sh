#!/bin/sh
# Makes the wave files of the media tests (run by hand; the files are committed).
# Good files carry a known pattern so that tests can check every decoded sample:
#   v(n, c) = ((n*K + c*2^(b-2) + n%7) mod 2^b) - 2^(b-1),  K = 2^(b-6),  b the bit depth,
# stored as unsigned (v + 128) for 8 bits; float files hold the 16-bit pattern / 32768.
# Each file lasts rate*3/10 frames (0.3 s). sox only wraps the raw samples in a RIFF/WAVE header.
set -e
cd "$(dirname "$0")"
raw() { # bits channels rate kind(u|s|f|d)
    python3 - "$@" <<'PY'
import struct, sys
bits, channels, rate, kind = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
b = 16 if kind in "fd" else bits
def v(n, c):
    return ((n * 2 ** (b - 6) + c * 2 ** (b - 2) + n % 7) % 2 ** b) - 2 ** (b - 1)
out = bytearray()
for n in range(rate * 3 // 10):
    for c in range(channels):
        x = v(n, c)
        if kind == "u": out += struct.pack("<B", x + 128)
        elif kind == "f": out += struct.pack("<f", x / 32768.0)
        elif kind == "d": out += struct.pack("<d", x / 32768.0)
        else: out += (x & (2 ** bits - 1)).to_bytes(bits // 8, "little")
sys.stdout.buffer.write(out)
PY
}
make() { # name bits channels rate kind
    case $5 in u) enc=unsigned-integer;; s) enc=signed-integer;; *) enc=floating-point;; esac
    raw $2 $3 $4 $5 > tmp.raw
    sox -D -t raw -e $enc -b $2 -c $3 -r $4 -L tmp.raw -t wav $1
    rm tmp.raw
}
make u8_mono_8000.wav 8 1 8000 u
make u8_stereo_11025.wav 8 2 11025 u
make s16_mono_22050.wav 16 1 22050 s
make s16_stereo_44100.wav 16 2 44100 s
make s24_mono_48000.wav 24 1 48000 s
make s24_stereo_16000.wav 24 2 16000 s
make s32_mono_11025.wav 32 1 11025 s
make s32_stereo_24000.wav 32 2 24000 s
make f32_mono_44100.wav 32 1 44100 f
make f32_stereo_22050.wav 32 2 22050 f
make f64_mono_8000.wav 64 1 8000 d
# A two-second tone for the playback tests, and a spoken word.
sox -D -n -r 8000 -b 16 -c 1 tone_2s.wav synth 2.0 sine 440 vol 0.3
espeak-ng -w speech.wav "Glossadrome" 2>/dev/null || true
# A header with no samples: a valid, empty wave file.
sox -D -n -r 8000 -b 16 -c 1 empty_data.wav trim 0 0
# Files that are not wave files.
printf 'This is a text file, not a wave file.\n' > text.wav
convert -size 8x8 xc:red jpeg:jpeg.wav
head -c 30 s16_mono_22050.wav > truncated_header.wav
: > zero_bytes.wav
sox -D -n -r 8000 -b 16 -c 1 -t aiff aiff.wav synth 0.1 sine 440
# The same tone as FLAC, Ogg Vorbis, Ogg Opus and MP3 (libsndfile's sndfile-convert, from the
# Debian package sndfile-programs).
sox -D -n -r 8000 -b 16 -c 1 tone.tmp.wav synth 0.3 sine 440 vol 0.3
sndfile-convert tone.tmp.wav tone.flac
sndfile-convert -vorbis tone.tmp.wav tone.ogg
sndfile-convert -opus tone.tmp.wav tone.opus
sndfile-convert tone.tmp.wav tone.mp3
rm tone.tmp.wav
