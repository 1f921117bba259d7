#pragma once
// The program's pictures, drawn at any size: its own icon (a stack of flash cards) and the
// Deck-file icon (a sheet with a card on it).
#include <QByteArray>
#include <QImage>

QImage ProgramIcon(int size);
QImage DeckFileIcon(int size);
QByteArray PngBytes(const QImage &image);
