#pragma once
// What the graphic control extensions of a frame say, read the way the painter reads them:
// when a frame carries several, the last one's disposal counts.
#include "gif/GIFImage.h"

#include <vector>

// The frame's graphic control extensions in list order.
inline std::vector<TGIFGraphicControlExtension *> FrameControls(const TGIFSubImage &frame)
{
    std::vector<TGIFGraphicControlExtension *> controls;
    for (int i = 0; i < frame.Extensions().Count(); ++i)
        if (auto *control = dynamic_cast<TGIFGraphicControlExtension *>(frame.Extensions()[i]))
            controls.push_back(control);
    return controls;
}

// The disposal method of the frame: that of its last graphic control extension, else 0.
inline int FrameDisposal(const TGIFSubImage &frame)
{
    const auto controls = FrameControls(frame);
    return controls.empty() ? 0 : controls.back()->Disposal();
}
