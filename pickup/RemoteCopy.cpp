#include "pickup/RemoteCopy.h"

#include <algorithm>

#include <libssh/libssh.h>
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
    : from(from), expectedSize(expectedSize), ring(std::max<std::size_t>(depth, 1)) {}

bool RemoteCopy::To(wxFile& to) {
    bool ok = true;
    while (ok && (count > 0 || !endSeen)) {
        while (ok && count < ring.size() && MayIssue()) {
            ok = Issue();
        }
        if (ok && count > 0) {
            if (received++ % kWidenEvery == 0) {
                WidenWindow();
            }
            ok = Receive(to);
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
    return nextOffset < expectedSize + kRequestSize || count == 0;
}

bool RemoteCopy::Issue() {
    // The library keeps one offset per file, advanced by each request and pulled back after
    // a short answer, which is wrong with several requests in flight: every request names
    // its own offset instead.
    sftp_seek64(from, nextOffset);
    const int id = sftp_async_read_begin(from, kRequestSize);
    if (id < 0) {
        return false;
    }
    ring[(head + count) % ring.size()] = Request{static_cast<std::uint32_t>(id), nextOffset};
    ++count;
    nextOffset += kRequestSize;
    return true;
}

bool RemoteCopy::Receive(wxFile& to) {
    const Request request = ring[head];
    head = (head + 1) % ring.size();
    --count;
    // After an end-of-file answer the library answers every later wait on the file with 0
    // without collecting its reply; seeking clears that, so each request gets its own.
    sftp_seek64(from, nextOffset);
    const int got = sftp_async_read(from, buffer, kRequestSize, request.id);
    // A killed server process can end a read with a negative result while the library
    // reports end of file: any negative result is a failed copy.
    if (got < 0) {
        return false;
    }
    if (got == 0) {
        endSeen = true;
        return true;
    }
    // Data beyond an end already seen: the file changed under the copy.
    if (endSeen) {
        return false;
    }
    if (copied < request.offset && !FillGap(to, request.offset)) {
        return false;
    }
    // Longer than it was at rest: read on with the whole pipeline.
    const std::uint64_t end = request.offset + static_cast<std::uint64_t>(got);
    if (end > expectedSize) {
        expectedSize = end + ring.size() * kRequestSize;
    }
    return Write(to, buffer, static_cast<std::size_t>(got));
}

bool RemoteCopy::FillGap(wxFile& to, std::uint64_t end) {
    // A server may answer short before the end of the file; the missing part is read one
    // request at a time, which is rare enough not to need the pipeline.
    while (copied < end) {
        sftp_seek64(from, copied);
        const auto wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(kRequestSize, end - copied));
        const ssize_t got = sftp_read(from, gap, wanted);
        // End of file inside the gap while later data exists: the file changed.
        if (got <= 0) {
            return false;
        }
        if (!Write(to, gap, static_cast<std::size_t>(got))) {
            return false;
        }
    }
    return true;
}

bool RemoteCopy::Write(wxFile& to, const char* data, std::size_t size) {
    if (to.Write(data, size) != size) {
        return false;
    }
    copied += size;
    return true;
}

void RemoteCopy::WidenWindow() {
    // The SSH library keeps a channel's receive window between 0.64 and 1.28 MB, which
    // caps a copy at about 1 MB per round trip (measured: 20 MB/s over a 20 ms round trip,
    // whatever the number in flight). Its only way to open it wider is a read asking for
    // more than the window holds: a read of the channel's error stream, which an SFTP
    // server never writes to, asks for that without taking any SFTP data, and returns at
    // once.
    const std::uint32_t window = kWindowFor(ring.size());
    if (windowSpare == nullptr) {
        windowSpare.reset(new char[window]);
    }
    ssh_channel_read_timeout(from->sftp->channel, windowSpare.get(), window, 1, 0);
}

void RemoteCopy::Abandon() {
    // The library files early answers in a queue of its own, so answers that arrive after
    // the file is closed never touch this object. Collecting them here keeps that queue
    // from growing over a long session. A failed wait most likely means a dead session,
    // where every further wait fails too: the rest are left to the library then.
    while (count > 0) {
        const Request request = ring[head];
        head = (head + 1) % ring.size();
        --count;
        sftp_seek64(from, 0);
        if (sftp_async_read(from, buffer, kRequestSize, request.id) < 0) {
            return;
        }
    }
}
