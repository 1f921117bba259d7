#pragma once
// A walk over the records of a metafile before any library plays it: records must lie inside
// the file, their number and the points of their lines and shapes stay within a budget, and
// the bitmaps inside Windows metafile records must have whole, sensible headers (libwmf loops
// for ever over a bitmap header that gives its own size as 0). Throws EInvalidGraphic.
#include <QByteArray>

constexpr int MaxMetafileRecords = 250000;
constexpr long long MaxMetafilePoints = 250000;

// A Windows metafile whose standard header starts at `start` (22 after a placeable header).
void CheckWmfRecords(const QByteArray &file, qsizetype start);
// An enhanced metafile of `bytes` bytes (its header's length).
void CheckEmfRecords(const QByteArray &file, qsizetype bytes);
