#include "pickup/sftp/UploadEnd.h"

#include <algorithm>

namespace UploadEnd {

namespace {

const std::string kPdfStart = "%PDF-";
const std::string kPdfEnd = "%%EOF";

// Exactly `length` bytes from `offset`; false when the file ends before or a read fails.
bool ReadAt(sftp_file handle, std::uint64_t offset, std::size_t length, std::string& into) {
    into.assign(length, '\0');
    if (sftp_seek64(handle, offset) != 0) {
        return false;
    }
    std::size_t got = 0;
    while (got < length) {
        const ssize_t read = sftp_read(handle, &into[got], length - got);
        if (read <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(read);
    }
    return true;
}

}  // namespace

bool StartsAsPdf(const std::string& start) {
    return start.compare(0, kPdfStart.size(), kPdfStart) == 0;
}

bool HasPdfEnd(const std::string& tail) {
    const std::size_t from = tail.size() > kTailSize ? tail.size() - kTailSize : 0;
    return tail.find(kPdfEnd, from) != std::string::npos;
}

Check Read(sftp_file handle, std::uint64_t size, Kind& kind) {
    if (kind == Kind::Other) {
        return Check::Complete;
    }
    const std::uint64_t tailStart = size > kTailSize ? size - kTailSize : 0;
    std::string tail;
    if (!ReadAt(handle, tailStart, static_cast<std::size_t>(size - tailStart), tail)) {
        return Check::Short;
    }
    // The tail first: a complete PDF, the usual document, costs this one request.
    if (HasPdfEnd(tail)) {
        return Check::Complete;
    }
    if (kind == Kind::Unknown) {
        std::string start = tail;
        if (tailStart != 0 && !ReadAt(handle, 0, kPdfStart.size(), start)) {
            return Check::Short;
        }
        kind = StartsAsPdf(start) ? Kind::Pdf : Kind::Other;
    }
    return kind == Kind::Pdf ? Check::Pending : Check::Complete;
}

}  // namespace UploadEnd
