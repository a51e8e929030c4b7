#include "pickup/sftp/SftpEndpoint.h"

#include "app/BuildConstants.h"

SftpEndpoint SftpEndpoint::Compiled() {
    return SftpEndpoint{BuildConstants::kSftpHost, BuildConstants::kSftpPort, std::string(),
                        std::string()};
}
