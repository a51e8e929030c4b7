#pragma once

#include <string>

// tests/fixtures/proftpd_fixture.py: ProFTPD with mod_sftp on 127.0.0.1 and a free port, for
// an account that already exists (the sshd fixture's): a second kind of SFTP server over
// the same home folder. Needs root. Started by the constructor (throws std::runtime_error
// when it does not come up); the destructor stops it by PID.
class ProftpdFixture {
public:
    ProftpdFixture(const std::string& fixturesDir, const std::string& user);
    ~ProftpdFixture();
    ProftpdFixture(const ProftpdFixture&) = delete;
    ProftpdFixture& operator=(const ProftpdFixture&) = delete;

    int Port() const { return port; }

private:
    std::string script;
    std::string directory;
    int port = 0;
};
