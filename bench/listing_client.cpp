// The references for the benchmark's server-cost row: plain SFTP sessions that list the
// pickup folder every 100 ms (opendir, readdir to the end, closedir), as the pickup worker
// polled before it asked for the folder's time first; with `stat`, sessions that only ask for
// the folder's attributes every 100 ms, the least a poll can cost the server. Same arguments
// and output as pickup_agent:
//   listing_client HOST PORT USER PASSWORD KNOWN_HOSTS [SESSIONS [stat]]
// prints "<seconds> CONNECTED SFTP connected" once per session; a line "stop" on standard
// input (or its end) ends them.
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <libssh/libssh.h>
#include <libssh/sftp.h>

namespace {

struct SessionFree {
    void operator()(ssh_session session) const {
        ssh_disconnect(session);
        ssh_free(session);
    }
};
struct SftpFree {
    void operator()(sftp_session sftp) const { sftp_free(sftp); }
};

std::mutex outputMutex;
std::atomic<bool> stopping{false};

void Say(const std::string& line) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::lock_guard<std::mutex> lock(outputMutex);
    std::printf("%.6f %s\n", static_cast<double>(now.tv_sec) + now.tv_nsec * 1e-9, line.c_str());
    std::fflush(stdout);
}

void PollEvery100ms(const std::vector<std::string>& args, bool statOnly) {
    std::unique_ptr<ssh_session_struct, SessionFree> session(ssh_new());
    const int off = 0;
    ssh_options_set(session.get(), SSH_OPTIONS_HOST, args[0].c_str());
    ssh_options_set(session.get(), SSH_OPTIONS_PORT_STR, args[1].c_str());
    ssh_options_set(session.get(), SSH_OPTIONS_USER, args[2].c_str());
    ssh_options_set(session.get(), SSH_OPTIONS_KNOWNHOSTS, args[4].c_str());
    ssh_options_set(session.get(), SSH_OPTIONS_PROCESS_CONFIG, &off);
    // A benchmark on loopback: the server's key is not checked.
    if (ssh_connect(session.get()) != SSH_OK ||
        ssh_userauth_password(session.get(), nullptr, args[3].c_str()) != SSH_AUTH_SUCCESS) {
        Say("ERROR login failed");
        return;
    }
    std::unique_ptr<sftp_session_struct, SftpFree> sftp(sftp_new(session.get()));
    if (sftp == nullptr || sftp_init(sftp.get()) != SSH_OK) {
        Say("ERROR SFTP initialisation failed");
        return;
    }
    Say("CONNECTED SFTP connected");
    while (!stopping) {
        if (statOnly) {
            if (sftp_attributes attributes = sftp_stat(sftp.get(), ".teskprinting/")) {
                sftp_attributes_free(attributes);
            }
        } else if (sftp_dir dir = sftp_opendir(sftp.get(), ".teskprinting/")) {
            while (sftp_attributes entry = sftp_readdir(sftp.get(), dir)) {
                sftp_attributes_free(entry);
            }
            sftp_closedir(dir);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    Say("FINISHED SFTP thread finished");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: %s HOST PORT USER PASSWORD KNOWN_HOSTS [SESSIONS [stat]]\n",
                     argv[0]);
        return 2;
    }
    ssh_init();
    const std::vector<std::string> args(argv + 1, argv + 6);
    const int count = argc > 6 ? std::stoi(argv[6]) : 1;
    const bool statOnly = argc > 7 && std::string(argv[7]) == "stat";
    std::vector<std::thread> sessions;
    for (int i = 0; i < count; ++i) {
        sessions.emplace_back(PollEvery100ms, args, statOnly);
    }
    std::string command;
    while (std::getline(std::cin, command) && command != "stop") {
    }
    stopping = true;
    for (auto& session : sessions) {
        session.join();
    }
    ssh_finalize();
    return 0;
}
