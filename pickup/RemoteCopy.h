#pragma once

#include <cstddef>
#include <cstdint>
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
    // 64 requests of 16 KiB fill about the SSH library's channel window (1.28 MB, topped up
    // when half of it is used): more in flight only queue at the server.
    static constexpr std::size_t kDefaultDepth = 64;

    explicit RemoteCopy(sftp_file from, std::size_t depth = kDefaultDepth);

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

    bool Issue();
    bool Receive(wxFile& to);
    bool FillGap(wxFile& to, std::uint64_t end);
    bool Write(wxFile& to, const char* data, std::size_t size);
    void Abandon();

    sftp_file from;
    // Requests in flight, oldest first: a ring of `depth` slots, made once.
    std::vector<Request> ring;
    std::size_t head = 0;
    std::size_t count = 0;
    std::uint64_t nextOffset = 0;
    bool endSeen = false;
    // Also where the local copy ends: a short answer leaves a gap up to the end of its
    // request, filled only if data follows (at the end of the file nothing does).
    std::uint64_t copied = 0;
    char buffer[kRequestSize];
    char gap[kRequestSize];
};
