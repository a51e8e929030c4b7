#include "update/UpdateCheckThread.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>

#include <curl/curl.h>

#include "app/DiagnosticLog.h"
#include "app/EventSink.h"
#include "app/ProgramInfo.h"
#include "app/WorkerEvents.h"
#include "update/Version.h"

namespace {

std::atomic<unsigned> finishedChecks{0};

struct CurlEasyCleanup {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasyHandle = std::unique_ptr<CURL, CurlEasyCleanup>;

// Counts the check as finished on every way out of Entry.
struct FinishedCounter {
    FinishedCounter() = default;
    FinishedCounter(const FinishedCounter&) = delete;
    FinishedCounter& operator=(const FinishedCounter&) = delete;
    ~FinishedCounter() { ++finishedChecks; }
};

bool ApplySettings(CURL* handle, const FetchSettings& settings) {
    // No signals for time-outs: other threads run beside this one.
    bool applied =
        curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
        curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, settings.connectTimeoutSeconds) ==
            CURLE_OK &&
        curl_easy_setopt(handle, CURLOPT_TIMEOUT, settings.totalTimeoutSeconds) == CURLE_OK &&
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, settings.lowSpeedBytesPerSecond) ==
            CURLE_OK &&
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, settings.lowSpeedSeconds) == CURLE_OK;
    if (applied && !settings.caFile.empty()) {
        applied = curl_easy_setopt(handle, CURLOPT_CAINFO, settings.caFile.c_str()) == CURLE_OK;
    }
    return applied;
}

void InitCurlOnce() {
    // Not thread-safe in every libcurl build, and a check may still be running when
    // another starts (in the tests), hence once per process. Never cleaned up.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

}  // namespace

size_t WriteToString(char* data, size_t size, size_t count, std::string* out) {
    if (out == nullptr) {
        return 0;
    }
    const size_t bytes = size * count;
    if (out->size() + bytes > UpdateCheckThread::kMaxBodySize) {
        return 0;
    }
    try {
        out->append(data, bytes);
    } catch (...) {
        // Nothing may be thrown through libcurl.
        return 0;
    }
    return bytes;
}

UpdateCheckThread::UpdateCheckThread(wxEvtHandler* handler, const std::string& url,
                                     const FetchSettings& settings)
    : wxThread(wxTHREAD_DETACHED), handler(handler), url(url), settings(settings) {}

UpdateCheckThread::~UpdateCheckThread() = default;

wxThread::ExitCode UpdateCheckThread::Entry() {
    FinishedCounter counter;
    const FetchResult fetched = FetchVersionText();
    if (!fetched.ok) {
        // A failed check is not worth bothering the user with; support may want to know.
        LogLine("update check: " + fetched.Describe() + " (" + url + ")");
        return reinterpret_cast<ExitCode>(1);
    }
    if (!Version::Parse(fetched.body)) {
        LogLine("update check: the answer is no release number: \"" + OneLine(fetched.body, 40) +
                "\" (" + url + ")");
    }
    if (IsNewerVersion(kProgramVersion, fetched.body)) {
        // The sink is closed once the application is gone; the event is dropped then.
        QueueThreadEvent(handler, wxEVT_UPDATE_AVAILABLE, fetched.body);
    }
    return nullptr;
}

FetchResult UpdateCheckThread::FetchVersionText() {
    InitCurlOnce();

    std::string result;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CurlEasyHandle curl(curl_easy_init());
    if (!curl) {
        return FetchResult::Failure("Failed to create CURL connection");
    }
    CURL* handle = curl.get();
    if (curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer) != CURLE_OK) {
        return FetchResult::Failure("Failed to set error buffer");
    }
    const auto failed = [&errorBuffer](const char* step) {
        return FetchResult::Failure(std::string(step) + errorBuffer);
    };
    if (curl_easy_setopt(handle, CURLOPT_URL, url.c_str()) != CURLE_OK) {
        return failed("Failed to set URL: ");
    }
    // A redirection never leaves HTTPS: the answer decides whether the user is sent to a
    // download page.
    if (curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L) != CURLE_OK ||
        curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https") != CURLE_OK) {
        return failed("Failed to set redirect option: ");
    }
    if (curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, WriteToString) != CURLE_OK) {
        return failed("Failed to set writer: ");
    }
    if (curl_easy_setopt(handle, CURLOPT_WRITEDATA, &result) != CURLE_OK) {
        return failed("Failed to set write data: ");
    }
    if (!ApplySettings(handle, settings)) {
        return failed("Failed to set limits: ");
    }

    const CURLcode performed = curl_easy_perform(handle);
    if (performed != CURLE_OK) {
        std::string detail = errorBuffer;
        // A refused redirection names the place it pointed to.
        long redirections = 0;
        char* reached = nullptr;
        if (curl_easy_getinfo(handle, CURLINFO_REDIRECT_COUNT, &redirections) == CURLE_OK &&
            redirections > 0 &&
            curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &reached) == CURLE_OK &&
            reached != nullptr) {
            detail += std::string(" (redirected to ") + reached + ")";
        }
        return FetchResult::Failure(curl_easy_strerror(performed), OneLine(detail));
    }

    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) {
        return FetchResult::Failure("An error has occurred",
                                    "HTTP status " + std::to_string(status));
    }
    return FetchResult::Body(std::move(result));
}

bool UpdateCheckThread::IsNewerVersion(const std::string& current, const std::string& fetched) {
    const std::optional<Version> running = Version::Parse(current);
    const std::optional<Version> offered = Version::Parse(fetched);
    return running && offered && *running < *offered;
}

unsigned UpdateCheckThread::FinishedCount() {
    return finishedChecks.load();
}
