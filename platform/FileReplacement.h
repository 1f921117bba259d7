#pragma once
// Writing a whole file: every write of a file's whole content (Decks, settings, pictures, the
// tools' outputs, the desktop entries) goes this one way, so that a full disk, a kill or a
// power cut never leaves a file half written in place of the old one.
#include <string>

// Replaces a file's content with bytes, all or nothing: written beside it (without a name until
// complete, where the file system allows), with every write, the sync and the close checked,
// then renamed over it, keeping its owner, permissions and extended attributes. A file the user
// may not write is never changed, whatever its folder allows: EFCreateError ("Cannot create
// file %s"). A folder that refuses new files, or a file with more than one name (whose other
// names must keep seeing it), is written in place through a journal that finishes the write
// at the next open if it is cut short (InPlaceRewrite.h). Any failure leaves the file as it was
// and is thrown: EInOutError with the error's text ("Disk full" ...) or EFCreateError.
void ReplaceFileContent(const std::string &path, const std::string &bytes);
