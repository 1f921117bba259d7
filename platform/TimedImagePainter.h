#pragma once
// A paint device over an image whose drawing stops at a deadline: every drawing operation that
// comes later is left out. Whatever draws into it (an SVG renderer) thus ends soon after the
// deadline, showing what it drew until then, however costly the rest would have been.
#include <QDeadlineTimer>
#include <QImage>
#include <QPaintDevice>

#include <memory>

class TimedPaintEngine;

class TimedImageDevice : public QPaintDevice {
public:
    TimedImageDevice(QImage &image, QDeadlineTimer deadline);
    ~TimedImageDevice() override;

    QPaintEngine *paintEngine() const override;
    // Whether an operation was left out.
    bool Expired() const;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QImage &image;
    std::unique_ptr<TimedPaintEngine> engine;
};
