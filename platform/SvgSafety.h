#pragma once
// What of an SVG file is safe to draw: the document without anything that reaches outside it
// (pictures or elements of other files, a DTD, processing instructions), and only when drawing
// it visits a bounded number of elements (a chain of <use> references multiplies them).
#include <QByteArray>

// The largest number of elements a drawing of the document may visit.
constexpr long long MaxSvgElementVisits = 200000;

// The safe document. Throws EInvalidGraphic for a file that is no well-formed XML, that refers
// to itself in a circle, or whose drawing would visit more than MaxSvgElementVisits elements.
QByteArray SafeSvg(const QByteArray &file);
