#include "pickup/SftpEndpoint.h"

#include "BuildConfig.h"

SftpEndpoint SftpEndpoint::Compiled() {
    return SftpEndpoint{CORVANE_SFTP_HOST, CORVANE_SFTP_PORT, std::string()};
}
