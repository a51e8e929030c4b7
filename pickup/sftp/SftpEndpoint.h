#pragma once

#include <string>

// Where the pickup worker connects. The program always uses Compiled(); tests point a
// worker at their own server.
struct SftpEndpoint {
    std::string host;
    std::string port;  // empty: the SSH library's default port
    // Empty: the user's own known-hosts file (and the system's, read only). Set: this file
    // alone. No SSH configuration file is ever read: nothing outside the program (a
    // configured Port, StrictHostKeyChecking, UserKnownHostsFile) changes where the worker
    // connects or whom it trusts.
    std::string knownHostsFile;
    // Empty: the user's own SSH folder (~/.ssh), where the known-hosts file lives by
    // default.
    std::string sshDir;

    static SftpEndpoint Compiled();
};
