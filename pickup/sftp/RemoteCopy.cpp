#include "pickup/sftp/RemoteCopy.h"

#include <wx/file.h>

namespace {

// The channel's receive window the copy keeps open: twice what is in flight, topped up
// every kWidenEvery answers, so the server never waits for a window adjustment.
constexpr std::uint32_t kWindowFor(std::size_t depth) {
    return static_cast<std::uint32_t>(2 * depth * RemoteCopy::kRequestSize);
}
constexpr std::size_t kWidenEvery = 16;

}  // namespace

RemoteCopy::RemoteCopy(sftp_file from, std::uint64_t expectedSize, std::size_t depth)
    : expectedSize(expectedSize), reads(from, depth) {}

bool RemoteCopy::To(wxFile& to) {
    bool ok = true;
    while (ok && (reads.InFlight() > 0 || !endSeen)) {
        while (ok && reads.InFlight() < reads.Depth() && MayIssue()) {
            ok = reads.Issue(nextOffset, kRequestSize);
            nextOffset += ok ? kRequestSize : 0;
        }
        if (ok && reads.InFlight() > 0) {
            if (received++ % kWidenEvery == 0) {
                reads.KeepWindowOpen(kWindowFor(reads.Depth()));
            }
            ok = Receive(to);
            ok = ok && !(stop && stop());
        }
    }
    if (!ok) {
        Abandon();
    }
    return ok;
}

bool RemoteCopy::MayIssue() const {
    if (endSeen) {
        return false;
    }
    // Up to the expected end and one request past it; beyond that only while nothing is in
    // flight, which happens only for a file longer than expected.
    return nextOffset < expectedSize + kRequestSize || reads.InFlight() == 0;
}

bool RemoteCopy::Receive(wxFile& to) {
    const ReadPipeline::Answer answer = reads.Collect(buffer, kRequestSize);
    if (onAnswer && answer.got >= 0) {
        onAnswer();
    }
    // A killed server process can end a read with a negative result while the library
    // reports end of file: any negative result is a failed copy.
    if (answer.got < 0) {
        return false;
    }
    if (answer.got == 0) {
        // The end, unless a short answer before it left part of the rested size unread:
        // a server may answer short anywhere, and the end is then asked for again.
        if (!endSeen && copied < answer.offset && copied < expectedSize) {
            return Restart();
        }
        endSeen = true;
        return true;
    }
    // Data beyond an end already seen: the file changed under the copy.
    if (endSeen) {
        return false;
    }
    if (copied < answer.offset) {
        return Restart();
    }
    // Longer than it was at rest: read on with the whole pipeline.
    const std::uint64_t end = answer.offset + static_cast<std::uint64_t>(answer.got);
    if (end > expectedSize) {
        expectedSize = end + reads.Depth() * kRequestSize;
    }
    return Write(to, buffer, static_cast<std::size_t>(answer.got));
}

bool RemoteCopy::Restart() {
    // A server may answer short before the end of the file. The answers in flight are
    // collected and dropped, and the copy goes on from where it ends.
    if (!Abandon()) {
        return false;
    }
    nextOffset = copied;
    return true;
}

bool RemoteCopy::Write(wxFile& to, const char* data, std::size_t size) {
    if (to.Write(data, size) != size) {
        return false;
    }
    copied += size;
    return true;
}

bool RemoteCopy::Abandon() {
    // Collecting the answers still on their way keeps the library's queue of early answers
    // from growing over a long session. A failed wait most likely means a dead session,
    // where every further wait fails too: the rest are left to the library then.
    while (reads.InFlight() > 0) {
        if (reads.Collect(buffer, kRequestSize).got < 0) {
            return false;
        }
    }
    return true;
}
