#pragma once
// Writing a file's new content over its old one, where it cannot be replaced by a new file (a
// folder that takes no new files, a file with more than one name). The complete new content is
// first kept, synced, in a journal in the user's data folder; only then is the file written,
// and the journal goes once the write has reached the disk. A write cut short by a kill or a
// power cut is finished from the journal the next time the file is opened.
#include "platform/PosixFile.h"

#include <string>
#include <sys/stat.h>

// Writes bytes over the open file (the one that `info` describes and `path` names) through a
// journal. The file is cut to its new length only after the new content is written. A journal
// that cannot be kept stops the write before the file is touched.
void RewriteInPlace(FileHandle &file, const struct stat &info, const std::string &path, const std::string &bytes);

// Finishes a write over the file at path that was cut short, when its journal is there; a
// journal that does not belong to this file any more, or is damaged, is dropped. Throws when
// the file cannot be written to finish it.
void FinishInterruptedRewrite(const std::string &path);

// Drops the journal of a file that has just been replaced as a whole: it describes a file that
// is gone.
void DiscardRewriteJournal(const struct stat &info);

// The folder of the journals.
std::string RewriteJournalFolder();
