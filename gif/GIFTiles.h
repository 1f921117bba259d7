#pragma once
// Tiling a picture over a rectangle at its own size.
#include <QRect>

#include <algorithm>

// Calls paint(tile) for tiles of tileSize: the first at rect's top-left corner moved by
// offset, then stepping by step across and down while a tile starts inside rect.
template <typename Paint>
void ForEachTile(const QRect &rect, const QPoint &offset, const QSize &tileSize, const QSize &step, Paint paint)
{
    const int dx = std::max(1, step.width()), dy = std::max(1, step.height());
    for (int top = rect.top() + offset.y(); top <= rect.bottom(); top += dy)
        for (int left = rect.left() + offset.x(); left <= rect.right(); left += dx)
            paint(QRect(QPoint(left, top), tileSize));
}
