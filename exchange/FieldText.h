#pragma once
// Text from another program made fit for a field of a UTF-8 Deck, whose fields hold no line
// break, no end-of-file mark and no "¶" (the separator).
#include <QString>

#include <string>

// Line breaks (CR, LF or CR LF) as "; ", each line trimmed, empty lines left out.
QString TextWithBreaksJoined(const QString &text);
// The field as UTF-8: breaks joined, control characters but the tab dropped, and "¶" written as
// its mirror image "⁋", which reads the same and does not end the field.
std::string DeckFieldOf(const QString &text);
