#include "app/ElasticLayout.h"

#include <QWidget>

#include <cmath>

void ElasticLayout::Anchor(QWidget *control, EdgeShares shares)
{
    placements.push_back({control, control->geometry(), shares});
}

void ElasticLayout::Apply(QSize extra) const
{
    const auto moved = [](int edge, double share, int extra) { return edge + int(std::lround(share * extra)); };
    for (const Placement &p : placements) {
        const QRect &r = p.atDefaultSize;
        const int left = moved(r.left(), p.shares.left, extra.width());
        const int top = moved(r.top(), p.shares.top, extra.height());
        // Edges past the right and bottom ones, so that a width or height adds up exactly.
        const int right = moved(r.left() + r.width(), p.shares.right, extra.width());
        const int bottom = moved(r.top() + r.height(), p.shares.bottom, extra.height());
        p.control->setGeometry(left, top, right - left, bottom - top);
    }
}
