#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <libssh/sftp.h>

class wxFile;

// Copies an open remote file to a local file with many read requests in flight, so the
// copy is not one round trip per request. The answers are written in file order through
// one buffer; the data waiting for its turn is held by the SSH library and is bounded by
// the number of requests in flight, never by the size of the file.
class RemoteCopy {
public:
    // The size of every read request.
    static constexpr std::size_t kRequestSize = 16384;
    // 4 MiB in flight: enough for about 200 MB/s over a 20 ms round trip (measured: 64 in
    // flight give about 20 MB/s there, 256 about 80 MB/s).
    static constexpr std::size_t kDefaultDepth = 256;

    // `expectedSize` is the size the file rested at: requests go out for that much and one
    // more to see the end, so a small file costs one round trip, not `depth` requests. A
    // file that turns out longer is read on to its real end.
    RemoteCopy(sftp_file from, std::uint64_t expectedSize, std::size_t depth = kDefaultDepth);

    // Copies from the start of the remote file to its end. False on any read or write
    // failure; the local file then holds an unusable partial copy.
    bool To(wxFile& to);
    // Bytes written to the local file.
    std::uint64_t Copied() const { return copied; }

private:
    struct Request {
        std::uint32_t id;
        std::uint64_t offset;
    };

    bool MayIssue() const;
    bool Issue();
    bool Receive(wxFile& to);
    bool FillGap(wxFile& to, std::uint64_t end);
    bool Write(wxFile& to, const char* data, std::size_t size);
    void WidenWindow();
    void Abandon();

    sftp_file from;
    std::uint64_t expectedSize;
    // Requests in flight, oldest first: a ring of `depth` slots, made once.
    std::vector<Request> ring;
    std::size_t head = 0;
    std::size_t count = 0;
    std::size_t received = 0;
    std::uint64_t nextOffset = 0;
    bool endSeen = false;
    // Also where the local copy ends: a short answer leaves a gap up to the end of its
    // request, filled only if data follows (at the end of the file nothing does).
    std::uint64_t copied = 0;
    char buffer[kRequestSize];
    char gap[kRequestSize];
    // Only a target for the window call (see WidenWindow); never written to in practice,
    // so its pages are never touched.
    std::unique_ptr<char[]> windowSpare;
};
