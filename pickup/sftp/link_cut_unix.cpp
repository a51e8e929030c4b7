#include <sys/socket.h>

#include "pickup/sftp/LinkWatchdog.h"

void ShutDownSocket(socket_t socket) {
    shutdown(socket, SHUT_RDWR);
}
