#pragma once
// The exact nearest palette colour: the entry at the smallest squared distance in red, green
// and blue, the lowest index winning a tie. The colour cube is cut into cells of 8x8x8 colours;
// the first colour looked up in a cell lists the entries that can be nearest to any colour of
// that cell, ordered by their least possible distance, so that a search reads only the few
// that can still win and stops at the first that cannot.
#include "gif/ColorReduction.h"

#include <cstdint>
#include <vector>

class TNearestColorLookup final : public TColorLookup {
public:
    // Up to 256 entries of the palette.
    explicit TNearestColorLookup(const TPalette &palette);
    uint8_t MapColor(uint8_t &red, uint8_t &green, uint8_t &blue) override;
    // The index of the nearest entry (0 for an empty palette).
    int Nearest(int red, int green, int blue);

private:
    struct Candidate {
        int32_t bound;   // no colour of the cell is nearer to the entry than this
        uint8_t red, green, blue, index;
    };
    // The candidates of a cell start at its offset into `candidates`, after one Candidate whose
    // bound holds their number.
    int32_t MakeCell(int cell);

    TPalette entries;
    // The entries' channels side by side, as many as a palette can hold; those beyond the
    // palette lie far outside the colour cube, so that they never count.
    alignas(64) float channels[3][256];
    std::vector<int32_t> cellOffset;   // -1 until the cell is first used
    std::vector<Candidate> candidates;
};
