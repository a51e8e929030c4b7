#include <winsock2.h>

#include "pickup/LinkWatchdog.h"

void ShutDownSocket(socket_t socket) {
    shutdown(socket, SD_BOTH);
}
