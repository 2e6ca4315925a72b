#pragma once
#include <gio/gio.h>

// A seekable GOutputStream over an open file descriptor that gathers small writes.
//
// libgcab writes a cabinet's header field by field (its placeholder byte by byte), then the data,
// then goes back to the start and writes the header again: straight to a file that is one system
// call per field, some 40 per file of the cabinet. This stream keeps what is written in a buffer
// and writes it at its own offset (pwrite) when the buffer is full, on a seek, a flush and on
// close, so a seek back and a write over earlier bytes land where they belong. It does not own
// the descriptor (the caller closes it). Seeking past the end, or from the end, is not offered
// (libgcab does neither); truncating is not offered.
namespace platform::wine {

// A new stream (full reference) writing to `fd` from offset 0, gathering up to `bufferBytes`.
GOutputStream* NewBufferedFileOutput(int fd, gsize bufferBytes = 256 * 1024);

}  // namespace platform::wine
