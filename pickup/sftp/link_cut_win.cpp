#include <winsock2.h>

#include <windows.h>

#include "pickup/sftp/LinkWatchdog.h"

void ShutDownSocket(socket_t socket) {
    // The SSH library owns the handle and closes it itself: closing it here would leave it
    // writing to and closing a handle value that another socket (the update check's) may
    // have been given meanwhile. Winsock's select, which the library waits in, does not wake
    // when a socket is shut down, so its pending wait on the handle is cancelled as well:
    // select then fails, and every later send on the shut-down socket fails at once.
    shutdown(socket, SD_BOTH);
    CancelIoEx(reinterpret_cast<HANDLE>(socket), nullptr);
}
