#include "pickup/sftp/ServerIdentity.h"

#include <string>
#include <vector>

#include "pickup/sftp/KnownHosts.h"
#include "pickup/sftp/SessionLog.h"

namespace {

class ServerKey {
public:
    explicit ServerKey(ssh_session session) {
        if (ssh_get_server_publickey(session, &key) != SSH_OK) {
            key = nullptr;
        }
    }
    ~ServerKey() { ssh_key_free(key); }
    ServerKey(const ServerKey&) = delete;
    ServerKey& operator=(const ServerKey&) = delete;

    ssh_key key = nullptr;
};

}  // namespace

bool VerifyServerIdentity(ssh_session session, bool withSystemFile) {
    const ServerKey server(session);
    const std::string userFile = SessionOption(session, SSH_OPTIONS_KNOWNHOSTS);
    if (server.key == nullptr || userFile.empty()) {
        LogHostKeyRefused(session, "cannot be checked: no key offered, or no known-hosts file");
        return false;
    }
    std::vector<std::string> files{userFile};
    const std::string systemFile = SessionOption(session, SSH_OPTIONS_GLOBAL_KNOWNHOSTS);
    if (withSystemFile && !systemFile.empty()) {
        files.push_back(systemFile);
    }
    unsigned int port = 0;
    ssh_options_get_port(session, &port);
    const KnownHosts knownHosts(SessionOption(session, SSH_OPTIONS_HOST), port, files);

    const KnownHosts::Judgement judgement = knownHosts.Judge(server.key);
    switch (judgement.verdict) {
        case KnownHosts::Verdict::Known:
            return true;
        case KnownHosts::Verdict::FirstContact:
            // Trusted on first contact; failing to remember it does not change that.
            LogHostKeyRecorded(session, userFile,
                               ssh_session_update_known_hosts(session) == SSH_OK);
            return true;
        case KnownHosts::Verdict::Refused:
            break;
    }
    LogHostKeyRefused(session, judgement.detail);
    return false;
}
