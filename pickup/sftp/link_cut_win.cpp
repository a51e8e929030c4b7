#include <winsock2.h>

#include "pickup/sftp/LinkWatchdog.h"

void ShutDownSocket(socket_t socket) {
    // Winsock's select, which the SSH library waits in, does not wake when another thread
    // shuts a socket down (nor does a later select see it: tried under Wine), only when the
    // handle is closed. The library closes the same handle value again once it has seen the
    // error, within moments; no other socket of the program is made meanwhile but the update
    // check's, once per run.
    shutdown(socket, SD_BOTH);
    closesocket(socket);
}
