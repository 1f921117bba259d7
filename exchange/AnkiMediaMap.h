#pragma once
// The "media" entry of an Anki package: which archive entry holds the medium of which name.
// Older packages write it as JSON ({"0": "cat.jpg"}), newer ones as a Zstandard-compressed
// protocol buffer (a list of entries, each with the name in field 1 and, where the archive
// entry is not simply its position, that entry's number in field 255).
#include <QHash>
#include <QString>

#include <string>

// The archive entry of every medium by its name. Throws Exception when the map is damaged.
QHash<QString, std::string> ReadAnkiMediaMap(const std::string &bytes);
