#pragma once
// Controls that sit where they belong at the window's default size and grow with it: each edge
// of a control moves by its share of how much larger the container has become (0 keeps the
// edge where it is, 1 moves it all the way, as if tied to the container's far side).
#include <QRect>

#include <vector>

class QWidget;

struct EdgeShares {
    double left = 0, top = 0, right = 0, bottom = 0;
};

class ElasticLayout {
public:
    // The control's present geometry is its place at the default size.
    void Anchor(QWidget *control, EdgeShares shares);
    // Places every control for a container `extra` larger than at the default size.
    void Apply(QSize extra) const;

private:
    struct Placement {
        QWidget *control;
        QRect atDefaultSize;
        EdgeShares shares;
    };
    std::vector<Placement> placements;
};
