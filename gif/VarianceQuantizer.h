#pragma once
// A palette that keeps the squared colour error of a true-colour picture small. A picture of no
// more distinct colours than the palette holds keeps exactly its own colours. Otherwise the
// colours are counted in cells of 6 bits per channel, the colour cube is cut into boxes, always
// the box whose cut removes the most squared error (Wu's variance-based splitting), and the
// boxes' mean colours are then moved to the mean of the colours nearest to them until they stay
// put (k-means passes).
#include "platform/Graphic.h"

class TDIB;

// At most `colors` (1 to 256) colours for the 24-bit rows (blue, green, red) of the reader;
// fewer when the picture has fewer, none for a picture without pixels. No colour repeats.
TPalette MakeMinimumErrorPalette(TDIB &reader, int width, int height, int colors);
