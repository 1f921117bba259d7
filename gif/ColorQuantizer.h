#pragma once
// The octree colour quantizer: builds a palette of at most N colours for a true-colour
// picture. Every pixel colour is filed into a tree of depth 8 (one level per bit of the
// channels); whenever the tree holds more than N leaves, the most recently created node of the
// deepest level that still has children is merged into one leaf. The palette is the list of
// leaf averages in tree order.
#include "platform/Graphic.h"

#include <cstdint>
#include <deque>
#include <vector>

class TDIB;

struct TOctreeNode {
    bool Leaf = false;
    // 64-bit sums: a leaf may hold every pixel of the largest picture we accept.
    uint64_t PixelCount = 0;
    uint64_t RedSum = 0, GreenSum = 0, BlueSum = 0;
    TOctreeNode *NextReducible = nullptr;
    // Child i holds the colours whose bits at this level are red i>>2, green (i>>1)&1, blue i&1.
    TOctreeNode *Children[8] = {};
};

class TColorQuantizer {
public:
    // maxColors: N (at least 1); colorBits: depth of the leaves (8 keeps every bit).
    TColorQuantizer(int maxColors, int colorBits = 8);
    ~TColorQuantizer() = default;
    TColorQuantizer(const TColorQuantizer &) = delete;
    TColorQuantizer &operator=(const TColorQuantizer &) = delete;

    void AddColor(uint8_t red, uint8_t green, uint8_t blue);
    // A row of pixels in the order blue, green, red.
    void AddRow(const uint8_t *bgr, int width);
    // Every row of a 24-bit pixel buffer, top to bottom.
    void ProcessImage(TDIB &reader, int width, int height);

    int LeafCount() const { return leafCount; }
    // One entry per leaf, depth first with children in index order: blue, green, red, 0.
    // The averages truncate; a leaf without pixels is black.
    std::vector<uint8_t> ColorTable() const;

private:
    TOctreeNode *NewNode(int level);
    void FreeNode(TOctreeNode *node);
    void ReduceTree();
    void CollectLeaves(const TOctreeNode *node, std::vector<uint8_t> &table) const;

    TOctreeNode *tree = nullptr;
    int leafCount = 0;
    TOctreeNode *reducible[8] = {};
    int maxColors;
    int colorBits;
    // The leaf the last colour went to (until the next merge), so that runs of one colour skip
    // the walk down the tree.
    TOctreeNode *lastLeaf = nullptr;
    uint32_t lastColor = 0;
    std::deque<TOctreeNode> storage;
    std::vector<TOctreeNode *> freeNodes;
};

// A palette of `colors` picture colours made by the quantizer from a 24-bit pixel buffer of the
// given size. With system colours the palette has 256 entries: the first ten of the 20 static
// system colours, 236 picture colours, then the last ten system colours. Entries after the last
// leaf repeat the last leaf colour (black when the picture has no pixels).
TPalette MakeOptimizedPalette(TDIB &reader, int width, int height, int colors, int colorBits, bool systemColors);
