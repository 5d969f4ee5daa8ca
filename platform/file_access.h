// Opening the files the logic reads and writes, safely against what may lie
// at their names: a picture that is a FIFO or a device (which would block
// the reader, or never end), and a link planted where a temporary file is
// about to be written (which would make the write land on its target).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace qm {

// A regular file (or a link to one) opened for binary reading; null for
// anything else, at once: a FIFO, a device or a folder is refused before a
// byte is read.
std::FILE* OpenFileToRead(const std::string& path);

// A new file made for binary writing: whatever had the name (a stale
// temporary, or a link) is removed first, and the file is then created
// only if nothing has the name, never through a link. Null when it cannot
// be made.
std::FILE* CreateNewFile(const std::string& path);

// Moves to a byte offset of a file past 2 GiB too; false when it cannot.
bool SeekTo(std::FILE* file, std::uint64_t offset);

}  // namespace qm
