// libssh 0.11 and later, verified on 0.11.5: the documented asynchronous reads (sftp_aio_*).
// The channel window is the library's own there (2 MiB, not widened by a larger read), so
// a copy over a long round trip is slower than on 0.10, and as correct.
#include "pickup/sftp/ReadPipeline.h"

#include <libssh/libssh.h>

std::string ReadPipeline::Description() {
    return std::string("libssh ") + ssh_version(0) +
           "; copy: sftp_aio pipeline, library's own channel window (built for 0.11+)";
}

bool ReadPipeline::Begin(std::uint64_t offset, std::uint32_t size, Request& request) {
    sftp_seek64(file, offset);
    sftp_aio aio = nullptr;
    if (sftp_aio_begin_read(file, size, &aio) < 0) {
        return false;
    }
    request.handle = aio;
    // The request's id, for an answer that arrives while another is awaited (see
    // TakeFiled): the session's counter, just advanced for this request.
    request.id = file->sftp->id_counter;
    return true;
}

long ReadPipeline::Wait(Request& request, char* data, std::uint32_t size) {
    sftp_aio aio = static_cast<sftp_aio>(request.handle);
    request.handle = nullptr;
    // Frees the handle whatever its outcome (the file is blocking: never SSH_AGAIN).
    return static_cast<long>(sftp_aio_wait_read(&aio, data, size));
}

void ReadPipeline::Release(Request& request) {
    sftp_aio_free(static_cast<sftp_aio>(request.handle));
    request.handle = nullptr;
}

void ReadPipeline::KeepWindowOpen(std::uint32_t) {}
