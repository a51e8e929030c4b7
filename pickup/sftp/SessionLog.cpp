#include "pickup/sftp/SessionLog.h"

#include <string>

#include "app/DiagnosticLog.h"

namespace {

// user@host:port, as the session was told.
std::string Server(ssh_session session) {
    unsigned int port = 0;
    ssh_options_get_port(session, &port);
    return SessionOption(session, SSH_OPTIONS_USER) + "@" +
           SessionOption(session, SSH_OPTIONS_HOST) + ":" + std::to_string(port);
}

// The library's last message; it is kept after later calls succeed, so it is only read
// right after a call that failed.
std::string LibraryError(ssh_session session) {
    const char* text = ssh_get_error(session);
    return text != nullptr && *text != '\0' ? OneLine(text) : std::string("no detail given");
}

// "ssh-ed25519 SHA256:..." of the key the server offered.
std::string OfferedKey(ssh_session session) {
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(session, &key) != SSH_OK) {
        return "an unreadable key";
    }
    std::string text = ssh_key_type_to_char(ssh_key_type(key));
    unsigned char* hash = nullptr;
    size_t length = 0;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) == 0) {
        char* fingerprint = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length);
        if (fingerprint != nullptr) {
            text += std::string(" ") + fingerprint;
            ssh_string_free_char(fingerprint);
        }
        ssh_clean_pubkey_hash(&hash);
    }
    ssh_key_free(key);
    return text;
}

std::string SftpErrorName(int code) {
    static const char* const names[] = {
        "ok",          "end of file",    "no such file",  "permission denied",
        "failure",     "bad message",    "no connection", "connection lost",
        "unsupported", "invalid handle", "no such path",  "file already exists"};
    if (code >= 0 && code < static_cast<int>(sizeof names / sizeof names[0])) {
        return names[code];
    }
    return "SFTP error " + std::to_string(code);
}

}  // namespace

void LogConnectFailure(ssh_session session) {
    LogLine("pickup: cannot connect to " + Server(session) + ": " + LibraryError(session));
}

void LogHostKeyRefused(ssh_session session, const std::string& why) {
    LogLine("pickup: host key of " + Server(session) + " " + OneLine(why) + ": it offers " +
            OfferedKey(session) + "; the password was not sent");
}

void LogHostKeyRecorded(ssh_session session, const std::string& file, bool recorded) {
    LogLine("pickup: first contact with " + Server(session) + ": " + OfferedKey(session) +
            (recorded ? " recorded in " : " could not be recorded in ") + OneLine(file));
}

void LogLoginRefused(ssh_session session, int authResult) {
    const std::string server = Server(session);
    switch (authResult) {
        case SSH_AUTH_DENIED:
            LogLine("pickup: password refused by " + server + ": " + LibraryError(session));
            break;
        case SSH_AUTH_PARTIAL:
            LogLine("pickup: " + server +
                    " accepted the password but asks for more "
                    "authentication");
            break;
        default:
            LogLine("pickup: login to " + server + " failed: " + LibraryError(session));
            break;
    }
}

void LogSftpStartFailure(ssh_session session, sftp_session sftp) {
    std::string line =
        "pickup: cannot start SFTP on " + Server(session) + ": " + LibraryError(session);
    if (sftp != nullptr) {
        line += " (" + SftpErrorName(sftp_get_error(sftp)) + ")";
    }
    LogLine(line);
}

void LogSessionEnded(ssh_session session, sftp_session sftp, const std::string& during) {
    const std::string server = Server(session);
    const std::string when = during.empty() ? std::string() : " while " + during;
    if (ssh_is_connected(session) == 0) {
        LogLine("pickup: connection to " + server + " lost" + when + ": " + LibraryError(session));
    } else if (sftp != nullptr && ssh_channel_is_open(sftp->channel) == 0) {
        LogLine("pickup: " + server + " closed the SFTP session" + when + ": " +
                LibraryError(session));
    } else {
        const int code = sftp != nullptr ? sftp_get_error(sftp) : -1;
        LogLine("pickup: session with " + server + " ended" + when + " after a failed request (" +
                SftpErrorName(code) + ")");
    }
}

std::string SessionOption(ssh_session session, ssh_options_e type) {
    char* value = nullptr;
    if (ssh_options_get(session, type, &value) != SSH_OK || value == nullptr) {
        return std::string();
    }
    std::string text = value;
    ssh_string_free_char(value);
    return text;
}
