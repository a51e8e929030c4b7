#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include <libssh/sftp.h>

// What shows that an upload has ended beyond its size coming to rest. A PDF is written
// front to back and ends with "%%EOF", which readers look for in its last 1024 bytes: one
// without it is still being written, however long its writer pauses. An empty file has
// nothing to show yet.
namespace UploadEnd {

constexpr std::size_t kTailSize = 1024;
// How long an empty file stays before it is removed, and how long a PDF without its end
// marker rests before it is taken anyway (its writer has gone).
constexpr std::chrono::seconds kEmptyWait{30};
constexpr std::chrono::seconds kUnmarkedPdfWait{30};

enum class Kind { Unknown, Pdf, Other };
enum class Check {
    Complete,
    Pending,
    // The handle reads less than its size says (a server that ends reads at the size the
    // file had when it was opened): only a fresh handle can see the whole file.
    Short,
};

bool StartsAsPdf(const std::string& start);
bool HasPdfEnd(const std::string& tail);

// Reads the tail of a file at rest of `size` bytes (and, the first time for a file longer
// than the tail, its first bytes) through `handle`; `kind` carries what is known of the
// file from one check to the next.
Check Read(sftp_file handle, std::uint64_t size, Kind& kind);

}  // namespace UploadEnd
