#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <libssh/sftp.h>

// The read requests of one copy in flight on one open remote file, collected oldest first
// whatever order the server answers them in (SFTP lets a server choose). Everything the
// copy needs from the SSH library beyond its documented behaviour is here, and the build
// picks the source file for the version it finds:
//   read_pipeline_libssh010.cpp  libssh 0.10 (verified on 0.10.6): sftp_async_read_*
//   read_pipeline_aio.cpp        libssh 0.11 and later (verified on 0.11.5): sftp_aio_*
class ReadPipeline {
public:
    // The library this program runs with and the way the copy reads, for reports.
    static std::string Description();

    ReadPipeline(sftp_file file, std::size_t depth);
    // Requests still in flight are given up: their answers, when they come, are dropped by
    // the library.
    ~ReadPipeline();
    ReadPipeline(const ReadPipeline&) = delete;
    ReadPipeline& operator=(const ReadPipeline&) = delete;

    std::size_t InFlight() const { return count; }
    std::size_t Depth() const { return ring.size(); }

    // Asks for `size` bytes at `offset`; false when the request could not be sent. Only
    // while fewer than Depth() are in flight.
    bool Issue(std::uint64_t offset, std::uint32_t size);

    struct Answer {
        std::uint64_t offset;
        // Bytes placed in the caller's buffer, 0 at the end of the file, negative on failure.
        long got;
    };
    // The answer to the oldest request in flight; at most `size` bytes go to `data`. Never
    // waits for an answer that has arrived already. Only while InFlight() > 0.
    Answer Collect(char* data, std::uint32_t size);

    // Keeps the channel's receive window at least `window` bytes wide, where the library
    // allows it, so a server with much in flight never waits for the window.
    void KeepWindowOpen(std::uint32_t window);

private:
    struct Request {
        std::uint32_t id = 0;
        std::uint64_t offset = 0;
        // The library's own handle of the request, where it has one.
        void* handle = nullptr;
    };

    // One per library version (the sibling files).
    bool Begin(std::uint64_t offset, std::uint32_t size, Request& request);
    long Wait(Request& request, char* data, std::uint32_t size);
    void Release(Request& request);

    // The answer to `request`, when the library has filed it already (it arrived while
    // another answer was awaited); false when it has not arrived yet.
    bool TakeFiled(Request& request, char* data, std::uint32_t size, long& got);

    sftp_file file;
    // Requests in flight, oldest first: a ring of `depth` slots, made once.
    std::vector<Request> ring;
    std::size_t head = 0;
    std::size_t count = 0;
    // Only a target for reads that widen the window; never written to in practice, so its
    // pages are never touched.
    std::unique_ptr<char[]> windowSpare;
};
