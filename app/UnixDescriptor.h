#pragma once

// A file descriptor that closes itself, and a write that goes on until all is written:
// the unprinted folder and the outbox both write their files this way.
#include <errno.h>
#include <unistd.h>

#include <cstddef>

class Descriptor {
public:
    explicit Descriptor(int fd) : fd(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return fd; }
    bool valid() const { return fd >= 0; }
    bool Close() {
        const bool closed = fd < 0 || close(fd) == 0;
        fd = -1;
        return closed;
    }

private:
    int fd;
};

inline bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}
