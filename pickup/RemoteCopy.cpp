#include "pickup/RemoteCopy.h"

#include <algorithm>

#include <wx/file.h>

RemoteCopy::RemoteCopy(sftp_file from, std::size_t depth)
    : from(from), ring(std::max<std::size_t>(depth, 1)) {}

bool RemoteCopy::To(wxFile& to) {
    bool ok = true;
    while (ok && (count > 0 || !endSeen)) {
        while (ok && !endSeen && count < ring.size()) {
            ok = Issue();
        }
        if (ok && count > 0) {
            ok = Receive(to);
        }
    }
    if (!ok) {
        Abandon();
    }
    return ok;
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
    return Write(to, buffer, static_cast<std::size_t>(got));
}

bool RemoteCopy::FillGap(wxFile& to, std::uint64_t end) {
    // A server may answer short before the end of the file; the missing part is read
    // one request at a time, which is rare enough not to need the pipeline.
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
