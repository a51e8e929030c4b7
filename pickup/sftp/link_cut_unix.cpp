#include <sys/socket.h>

#include "pickup/LinkWatchdog.h"

void ShutDownSocket(socket_t socket) {
    shutdown(socket, SHUT_RDWR);
}
