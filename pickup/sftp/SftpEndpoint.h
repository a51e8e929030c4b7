#pragma once

#include <string>

// Where the pickup worker connects. The program always uses Compiled(); tests point a
// worker at their own server.
struct SftpEndpoint {
    std::string host;
    std::string port;  // empty: the SSH library's default port
    // Empty: the user's own known-hosts file, and the SSH configuration files are read as
    // the library does by default. Set: this file is used, and no SSH configuration file
    // is read, so nothing outside the endpoint (such as a configured Port) changes where
    // the worker connects.
    std::string knownHostsFile;

    static SftpEndpoint Compiled();
};
