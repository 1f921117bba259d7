#pragma once
// The small pictures of the tool buttons and menu items. Each is drawn on a ground of one
// colour; that colour is then made transparent, as the main window asks at its show step.
#include <QColor>
#include <QIcon>

enum class ButtonImageKind { New, Open, Random, Order, Frequency, ShowAnswer, Spaced };

// The picture on its ground colour, 16 x 16.
QImage DrawButtonImage(ButtonImageKind kind, QColor ground);
// The picture with every pixel of the transparent colour made transparent.
QIcon ButtonIcon(const QImage &image, QColor transparentColor);
