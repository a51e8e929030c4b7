#pragma once

#include <string>

// Where the pickup worker connects. The program always uses Compiled(); tests point a
// worker at their own server.
struct SftpEndpoint {
    std::string host;
    std::string port;            // empty: the SSH library's default port
    std::string knownHostsFile;  // empty: the user's own known-hosts file

    static SftpEndpoint Compiled();
};
