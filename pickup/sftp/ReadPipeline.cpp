#include "pickup/sftp/ReadPipeline.h"

#include <algorithm>
#include <cstdlib>

#include <libssh/libssh.h>

namespace {

constexpr std::uint8_t kData = 103;    // SSH_FXP_DATA
constexpr std::uint8_t kStatus = 101;  // SSH_FXP_STATUS
constexpr std::uint32_t kEndOfFile = 1;

bool TakeU32(ssh_buffer buffer, std::uint32_t& value) {
    unsigned char bytes[4];
    if (ssh_buffer_get_data(buffer, bytes, sizeof bytes) != sizeof bytes) {
        return false;
    }
    value = std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 |
            std::uint32_t(bytes[2]) << 8 | std::uint32_t(bytes[3]);
    return true;
}

// A read's answer whose request id the library has already taken off: the data, or a
// status that is the end of the file or a failure.
long Parse(sftp_session sftp, sftp_message message, char* data, std::uint32_t size) {
    std::uint32_t value = 0;
    if (!TakeU32(message->payload, value)) {
        return -1;
    }
    if (message->packet_type == kStatus) {
        sftp->errnum = static_cast<int>(value);
        return value == kEndOfFile ? 0 : -1;
    }
    if (message->packet_type != kData || value > size ||
        ssh_buffer_get_len(message->payload) < value) {
        return -1;
    }
    return static_cast<long>(ssh_buffer_get_data(message->payload, data, value));
}

}  // namespace

ReadPipeline::ReadPipeline(sftp_file file, std::size_t depth)
    : file(file), ring(std::max<std::size_t>(depth, 1)) {}

ReadPipeline::~ReadPipeline() {
    for (; count > 0; --count, head = (head + 1) % ring.size()) {
        Release(ring[head]);
    }
}

bool ReadPipeline::Issue(std::uint64_t offset, std::uint32_t size) {
    Request& request = ring[(head + count) % ring.size()];
    request = Request{};
    request.offset = offset;
    if (!Begin(offset, size, request)) {
        return false;
    }
    ++count;
    return true;
}

ReadPipeline::Answer ReadPipeline::Collect(char* data, std::uint32_t size) {
    Request& request = ring[head];
    head = (head + 1) % ring.size();
    --count;
    long got = 0;
    if (!TakeFiled(request, data, size, got)) {
        got = Wait(request, data, size);
    }
    return Answer{request.offset, got};
}

bool ReadPipeline::TakeFiled(Request& request, char* data, std::uint32_t size, long& got) {
    // The library reads the next packet before it looks among the answers it has filed, so
    // its wait for an answer that came during the wait for another returns only when yet
    // another packet arrives: never, once the server has answered everything. Such an
    // answer is taken off the library's queue here (the queue, its entries and the message
    // are public structures, allocated with the C library's calloc, and their payload is an
    // ssh_buffer) and read as the library would read it.
    sftp_session sftp = file->sftp;
    sftp_request_queue previous = nullptr;
    for (sftp_request_queue entry = sftp->queue; entry != nullptr;
         previous = entry, entry = entry->next) {
        if (entry->message->id != request.id) {
            continue;
        }
        (previous != nullptr ? previous->next : sftp->queue) = entry->next;
        sftp_message message = entry->message;
        std::free(entry);
        got = Parse(sftp, message, data, size);
        ssh_buffer_free(message->payload);
        std::free(message);
        Release(request);
        return true;
    }
    return false;
}
