#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include <libssh/sftp.h>

#include "pickup/sftp/ReadPipeline.h"

class wxFile;

// Copies an open remote file to a local file with many read requests in flight, so the
// copy is not one round trip per request. The answers are written in file order through
// one buffer, whatever order the server answers in; the data waiting for its turn is held
// by the SSH library and is bounded by the number of requests in flight, never by the size
// of the file.
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

    // Called for every answer of the server.
    void OnAnswer(std::function<void()> hook) { onAnswer = std::move(hook); }
    // Asked between answers: true ends the copy as a failed one.
    void StopWhen(std::function<bool()> test) { stop = std::move(test); }

    // Copies from the start of the remote file to its end. False on any read or write
    // failure, or a stop; the local file then holds an unusable partial copy.
    bool To(wxFile& to);
    // Bytes written to the local file.
    std::uint64_t Copied() const { return copied; }

private:
    bool MayIssue() const;
    bool Receive(wxFile& to);
    bool Restart();
    bool Write(wxFile& to, const char* data, std::size_t size);
    // Collects every answer still in flight; false when a wait fails.
    bool Abandon();

    std::uint64_t expectedSize;
    std::function<void()> onAnswer;
    std::function<bool()> stop;
    ReadPipeline reads;
    std::size_t received = 0;
    std::uint64_t nextOffset = 0;
    bool endSeen = false;
    // Also where the local copy ends: a short answer leaves a gap up to the end of its
    // request; if data follows (at the end of the file nothing does), the copy is asked
    // for again from here.
    std::uint64_t copied = 0;
    char buffer[kRequestSize];
};
