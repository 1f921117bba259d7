// The octree colour quantizer and the optimized palettes made with it.
#include "gif/ColorQuantizer.h"
#include "gif/ColorReduction.h"

TColorQuantizer::TColorQuantizer(int maxColors, int colorBits)
    : maxColors(std::max(maxColors, 1)), colorBits(std::clamp(colorBits, 1, 8))
{
}

TOctreeNode *TColorQuantizer::NewNode(int level)
{
    TOctreeNode *node;
    if (!freeNodes.empty()) {
        node = freeNodes.back();
        freeNodes.pop_back();
        *node = TOctreeNode();
    } else {
        node = &storage.emplace_back();
    }
    if (level == colorBits) {
        node->Leaf = true;
        ++leafCount;
    } else {
        node->NextReducible = reducible[level];
        reducible[level] = node;
    }
    return node;
}

void TColorQuantizer::FreeNode(TOctreeNode *node)
{
    for (int i = 7; i >= 0; --i)
        if (node->Children[i])
            FreeNode(node->Children[i]);
    freeNodes.push_back(node);
}

void TColorQuantizer::AddColor(uint8_t red, uint8_t green, uint8_t blue)
{
    const uint32_t color = uint32_t(red) | uint32_t(green) << 8 | uint32_t(blue) << 16;
    TOctreeNode *node = lastLeaf && color == lastColor ? lastLeaf : nullptr;
    if (!node) {
        TOctreeNode **place = &tree;
        for (int level = 0;; ++level) {
            if (!*place)
                *place = NewNode(level);
            node = *place;
            if (node->Leaf)
                break;
            const int shift = 7 - level;
            const int index = ((red >> shift) & 1) << 2 | ((green >> shift) & 1) << 1 | ((blue >> shift) & 1);
            place = &node->Children[index];
        }
    }
    node->PixelCount += 1;
    node->RedSum += red;
    node->GreenSum += green;
    node->BlueSum += blue;
    lastLeaf = node;
    lastColor = color;
    while (leafCount > maxColors) {
        ReduceTree();
        lastLeaf = nullptr;
    }
}

void TColorQuantizer::AddRow(const uint8_t *bgr, int width)
{
    for (int x = 0; x < width; ++x, bgr += 3)
        AddColor(bgr[2], bgr[1], bgr[0]);
}

void TColorQuantizer::ProcessImage(TDIB &reader, int width, int height)
{
    for (int y = 0; y < height; ++y)
        AddRow(reader.ScanLine(y), width);
}

void TColorQuantizer::ReduceTree()
{
    int level = colorBits - 1;
    while (level > 0 && !reducible[level])
        --level;
    TOctreeNode *node = reducible[level];
    if (!node)
        return;
    reducible[level] = node->NextReducible;
    node->NextReducible = nullptr;
    int merged = 0;
    for (int i = 7; i >= 0; --i) {
        TOctreeNode *child = node->Children[i];
        if (!child)
            continue;
        node->PixelCount += child->PixelCount;
        node->RedSum += child->RedSum;
        node->GreenSum += child->GreenSum;
        node->BlueSum += child->BlueSum;
        FreeNode(child);
        node->Children[i] = nullptr;
        ++merged;
    }
    node->Leaf = true;
    leafCount -= merged - 1;
}

void TColorQuantizer::CollectLeaves(const TOctreeNode *node, std::vector<uint8_t> &table) const
{
    if (node->Leaf) {
        const uint64_t n = node->PixelCount;
        table.push_back(n ? uint8_t(node->BlueSum / n) : 0);
        table.push_back(n ? uint8_t(node->GreenSum / n) : 0);
        table.push_back(n ? uint8_t(node->RedSum / n) : 0);
        table.push_back(0);
        return;
    }
    for (const TOctreeNode *child : node->Children)
        if (child)
            CollectLeaves(child, table);
}

std::vector<uint8_t> TColorQuantizer::ColorTable() const
{
    std::vector<uint8_t> table;
    table.reserve(size_t(leafCount) * 4);
    if (tree)
        CollectLeaves(tree, table);
    return table;
}

TPalette MakeOptimizedPalette(TDIB &reader, int width, int height, int colors, int colorBits, bool systemColors)
{
    if (colors < 1 || colors > 256)
        throw GIFException("Invalid palette bits");
    if (systemColors)
        colors = 236;
    TColorQuantizer quantizer(colors, colorBits);
    quantizer.ProcessImage(reader, width, height);
    const std::vector<uint8_t> table = quantizer.ColorTable();
    TPalette picture;
    picture.reserve(colors);
    QRgb last = qRgb(0, 0, 0);
    for (int i = 0; i < colors; ++i) {
        if (size_t(i) * 4 < table.size())
            last = qRgb(table[4 * i + 2], table[4 * i + 1], table[4 * i]);
        picture.append(last);
    }
    if (!systemColors)
        return picture;
    const TPalette &system = SystemPalette20();
    return system.mid(0, 10) + picture + system.mid(10, 10);
}
