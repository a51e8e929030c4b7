// libssh 0.10, verified on 0.10.6: the asynchronous reads of that version and two of its
// undocumented ways, each read from its source.
#include "pickup/sftp/ReadPipeline.h"

#include <libssh/libssh.h>

std::string ReadPipeline::Description() {
    return std::string("libssh ") + ssh_version(0) +
           "; copy: sftp_async_read pipeline, channel window widened (built for 0.10)";
}

bool ReadPipeline::Begin(std::uint64_t offset, std::uint32_t size, Request& request) {
    // The library keeps one offset per file, advanced by each request and pulled back after
    // a short answer, which is wrong with several requests in flight: every request names
    // its own offset instead.
    sftp_seek64(file, offset);
    const int id = sftp_async_read_begin(file, size);
    if (id < 0) {
        return false;
    }
    request.id = static_cast<std::uint32_t>(id);
    return true;
}

long ReadPipeline::Wait(Request& request, char* data, std::uint32_t size) {
    // After an end-of-file answer the library answers every later wait on the file with 0
    // without collecting its reply; a seek clears that, so each request gets its own.
    sftp_seek64(file, sftp_tell64(file));
    return sftp_async_read(file, data, size, request.id);
}

void ReadPipeline::Release(Request&) {
    // Nothing to free: an answer that comes after the copy stays in the library's queue
    // until the SFTP session is freed.
}

void ReadPipeline::KeepWindowOpen(std::uint32_t window) {
    // The library keeps a channel's receive window between 0.64 and 1.28 MB, which caps a
    // copy at about 1 MB per round trip (measured: 20 MB/s over a 20 ms round trip,
    // whatever the number in flight). Its only way to open it wider is a read asking for
    // more than the window holds: a read of the channel's error stream, which an SFTP
    // server never writes to, asks for that without taking any SFTP data, and returns at
    // once.
    if (windowSpare == nullptr) {
        windowSpare.reset(new char[window]);
    }
    ssh_channel_read_timeout(file->sftp->channel, windowSpare.get(), window, 1, 0);
}
