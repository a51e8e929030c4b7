#include "update/UpdateCheckThread.h"

#include <atomic>
#include <memory>
#include <mutex>

#include <curl/curl.h>

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

UpdateCheckThread::UpdateCheckThread(wxEvtHandler* handler, const std::string& url)
    : wxThread(wxTHREAD_DETACHED), handler(handler), url(url) {}

UpdateCheckThread::~UpdateCheckThread() = default;

wxThread::ExitCode UpdateCheckThread::Entry() {
    FinishedCounter counter;
    try {
        const std::string body = FetchVersionText();
        if (IsNewerVersion(kProgramVersion, body)) {
            // The sink is closed once the application is gone; the event is dropped then.
            QueueThreadEvent(handler, wxEVT_UPDATE_AVAILABLE, body);
        }
    } catch (const std::string&) {
        // A failed check is not worth bothering the user with.
        return reinterpret_cast<ExitCode>(1);
    }
    return nullptr;
}

std::string UpdateCheckThread::FetchVersionText() {
    InitCurlOnce();

    std::string result;
    char errorBuffer[CURL_ERROR_SIZE] = {};

    CurlEasyHandle curl(curl_easy_init());
    if (!curl) {
        throw std::string("Failed to create CURL connection");
    }
    if (curl_easy_setopt(curl.get(), CURLOPT_ERRORBUFFER, errorBuffer) != CURLE_OK) {
        throw std::string("Failed to set error buffer");
    }
    if (curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str()) != CURLE_OK) {
        throw std::string("Failed to set URL: ") + errorBuffer;
    }
    if (curl_easy_setopt(curl.get(), CURLOPT_FOLLOWLOCATION, 1L) != CURLE_OK) {
        throw std::string("Failed to set redirect option: ") + errorBuffer;
    }
    if (curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, WriteToString) != CURLE_OK) {
        throw std::string("Failed to set writer: ") + errorBuffer;
    }
    if (curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &result) != CURLE_OK) {
        throw std::string("Failed to set write data: ") + errorBuffer;
    }

    const CURLcode performed = curl_easy_perform(curl.get());
    if (performed != CURLE_OK) {
        throw std::string(curl_easy_strerror(performed));
    }

    long status = 0;
    curl_easy_getinfo(curl.get(), CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) {
        throw std::string("An error has occurred");
    }
    return result;
}

bool UpdateCheckThread::IsNewerVersion(const std::string& current, const std::string& fetched) {
    const std::optional<Version> running = Version::Parse(current);
    const std::optional<Version> offered = Version::Parse(fetched);
    return running && offered && *running < *offered;
}

unsigned UpdateCheckThread::FinishedCount() {
    return finishedChecks.load();
}
