// The update check against a local web server: what it reports, and that every failure
// stays silent.
#include <cctype>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/stopwatch.h>
#include <wx/utils.h>

#include "app/EventSink.h"
#include "app/WorkerEvents.h"
#include "support/HttpFixture.h"
#include "support/TestHelpers.h"
#include "support/UpdateReceiver.h"
#include "update/UpdateCheck.h"
#include "update/UpdateCheckThread.h"

namespace {

using namespace std::chrono_literals;

using Receiver = UpdateReceiver;

// Starts a check of `url` as start-up does (or with other settings), reporting to
// `receiver`; returns the count of finished checks before it.
unsigned StartCheck(const std::string& url, wxEvtHandler* receiver,
                    const std::optional<FetchSettings>& settings = std::nullopt) {
    const unsigned before = UpdateCheckThread::FinishedCount();
    wxThread* worker = settings ? new UpdateCheckThread(receiver, url, *settings)
                                : UrlUpdateCheck(url).CreateCheckThread(receiver);
    EXPECT_EQ(worker->Run(), wxTHREAD_NO_ERROR);
    return before;
}

bool CheckFinished(unsigned before) {
    return PumpUntil([before] { return UpdateCheckThread::FinishedCount() > before; });
}

// Runs one check to the end; returns the payloads of the events it queued.
std::vector<std::string> RunCheck(const std::string& url,
                                  const std::optional<FetchSettings>& settings = std::nullopt) {
    Receiver receiver;
    const unsigned before = StartCheck(url, &receiver, settings);
    EXPECT_TRUE(CheckFinished(before)) << url;
    for (int id : receiver.ids) {
        EXPECT_EQ(id, wxID_ANY);
    }
    return receiver.payloads;
}

FetchResult FetchWith(const std::string& url, const FetchSettings& settings = FetchSettings()) {
    UpdateCheckThread thread(nullptr, url, settings);
    return thread.FetchVersionText();
}

std::string Fetch(const std::string& url) {
    const FetchResult result = FetchWith(url);
    EXPECT_TRUE(result.ok) << url << ": " << result.Describe();
    return result.body;
}

// The program's text for the failure of fetching `url`, or nothing.
std::optional<std::string> FetchFailure(const std::string& url) {
    const FetchResult result = FetchWith(url);
    return result.ok ? std::nullopt : std::optional<std::string>(result.failure);
}

// Settings that trust the certificate of `server` (an HTTPS fixture).
FetchSettings Trusting(const HttpFixture& server) {
    FetchSettings settings;
    settings.caFile = server.File("cert.pem");
    return settings;
}

class UpdateCheckOverHttp : public testing::Test {
protected:
    static void SetUpTestSuite() {
        server = std::make_unique<HttpFixture>();
        secure = std::make_unique<HttpFixture>(HttpFixture::Scheme::Https);
    }
    static void TearDownTestSuite() {
        server.reset();
        secure.reset();
    }
    static std::unique_ptr<HttpFixture> server;
    static std::unique_ptr<HttpFixture> secure;
};
std::unique_ptr<HttpFixture> UpdateCheckOverHttp::server;
std::unique_ptr<HttpFixture> UpdateCheckOverHttp::secure;

struct Served {
    const char* path;
    std::optional<std::string> payload;  // the one event expected, or none
};

void PrintTo(const Served& served, std::ostream* out) {
    *out << served.path;
}

class UpdateCheckReports : public UpdateCheckOverHttp,
                           public testing::WithParamInterface<Served> {};

TEST_P(UpdateCheckReports, OnlyNewerReleasesWithTheWholeText) {
    const Served& served = GetParam();
    const std::vector<std::string> payloads = RunCheck(server->Url(served.path));
    if (served.payload) {
        EXPECT_EQ(payloads, std::vector<std::string>{*served.payload});
    } else {
        EXPECT_TRUE(payloads.empty());
    }
    EXPECT_EQ(server->RequestedPaths().back(), served.path);
}

INSTANTIATE_TEST_SUITE_P(
    ServerAnswers, UpdateCheckReports,
    testing::Values(Served{"/current", std::nullopt}, Served{"/newer", std::string("2.4.1\n")},
                    Served{"/beta", std::nullopt}, Served{"/blank", std::string(" 2.4.1")},
                    Served{"/html", std::nullopt}, Served{"/status/404", std::nullopt},
                    Served{"/status/500", std::nullopt}, Served{"/status/201", std::nullopt},
                    Served{"/big", std::nullopt},
                    // Redirections are followed over HTTPS only.
                    Served{"/redirect/302", std::nullopt}),
    [](const testing::TestParamInfo<Served>& info) {
        std::string name = info.param.path + 1;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) {
                c = '_';
            }
        }
        return name;
    });

TEST_F(UpdateCheckOverHttp, HttpsRedirectionsAreFollowedToTheFinalBody) {
    for (const char* path : {"/redirect/301", "/redirect/302"}) {
        const FetchResult fetched = FetchWith(secure->Url(path), Trusting(*secure));
        EXPECT_TRUE(fetched.ok) << path << ": " << fetched.Describe();
        EXPECT_EQ(fetched.body, "2.4.1\n") << path;
        EXPECT_EQ(secure->RequestedPaths().back(), "/newer");
        EXPECT_EQ(RunCheck(secure->Url(path), Trusting(*secure)),
                  std::vector<std::string>{"2.4.1\n"})
            << path;
    }
}

TEST_F(UpdateCheckOverHttp, BodyUpToTheLimitIsKept) {
    const std::string body = Fetch(server->Url("/cap"));
    EXPECT_EQ(body.size(), UpdateCheckThread::kMaxBodySize);
    EXPECT_EQ(body.compare(0, 6, "2.4.1\n"), 0);

    const std::vector<std::string> payloads = RunCheck(server->Url("/cap"));
    ASSERT_EQ(payloads.size(), 1u);
    EXPECT_EQ(payloads[0], body);
}

// Each failure gives the program's text and, for the log, what caused it.
struct Failing {
    const char* name;
    bool https;  // the HTTPS server, its certificate trusted
    const char* path;
    FetchSettings settings;
    std::string failure;
    const char* detail;  // part of the particulars
};

void PrintTo(const Failing& failing, std::ostream* out) {
    *out << failing.name;
}

FetchSettings Limited(long lowSpeedBytesPerSecond, long lowSpeedSeconds, long totalSeconds) {
    FetchSettings settings;
    settings.lowSpeedBytesPerSecond = lowSpeedBytesPerSecond;
    settings.lowSpeedSeconds = lowSpeedSeconds;
    settings.totalTimeoutSeconds = totalSeconds;
    return settings;
}

class UpdateCheckFailureReasons : public UpdateCheckOverHttp,
                                  public testing::WithParamInterface<Failing> {};

TEST_P(UpdateCheckFailureReasons, NameTheirCause) {
    const Failing& failing = GetParam();
    HttpFixture& host = failing.https ? *secure : *server;
    FetchSettings settings = failing.settings;
    if (failing.https) {
        settings.caFile = host.File("cert.pem");
    }
    const FetchResult result = FetchWith(host.Url(failing.path), settings);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.failure, failing.failure);
    EXPECT_NE(result.detail.find(failing.detail), std::string::npos) << result.detail;
}

INSTANTIATE_TEST_SUITE_P(
    Failures, UpdateCheckFailureReasons,
    testing::Values(
        Failing{"status404", false, "/status/404", FetchSettings(), "An error has occurred",
                "HTTP status 404"},
        Failing{"status500", false, "/status/500", FetchSettings(), "An error has occurred",
                "HTTP status 500"},
        // A body beyond the limit ends the transfer from the write callback.
        Failing{"tooBig", false, "/big", FetchSettings(), curl_easy_strerror(CURLE_WRITE_ERROR),
                "writing"},
        Failing{"redirectOverPlainHttp", false, "/redirect/302", FetchSettings(),
                curl_easy_strerror(CURLE_UNSUPPORTED_PROTOCOL), "(redirected to http://"},
        Failing{"redirectFromHttpsToHttp", true, "/redirect-http/301", FetchSettings(),
                curl_easy_strerror(CURLE_UNSUPPORTED_PROTOCOL), "(redirected to http://"},
        Failing{"tricklingBelowTheLowSpeed", false, "/trickle", Limited(100, 1, 60),
                curl_easy_strerror(CURLE_OPERATION_TIMEDOUT), "Operation too slow"},
        Failing{"tricklingBeyondTheTotalTime", false, "/trickle", Limited(0, 0, 2),
                curl_easy_strerror(CURLE_OPERATION_TIMEDOUT), "Operation timed out after 2"}),
    [](const testing::TestParamInfo<Failing>& info) { return std::string(info.param.name); });

TEST_F(UpdateCheckOverHttp, SuccessHasNoFailure) {
    EXPECT_FALSE(FetchFailure(server->Url("/newer")).has_value());
}

TEST(UpdateCheckFailures, NoServerListening) {
    std::string url;
    {
        HttpFixture gone;
        url = gone.Url("/newer");
    }
    EXPECT_EQ(FetchFailure(url), std::string(curl_easy_strerror(CURLE_COULDNT_CONNECT)));
    EXPECT_TRUE(RunCheck(url).empty());
}

TEST(UpdateCheckFailures, UntrustedCertificate) {
    HttpFixture server(HttpFixture::Scheme::Https);
    const std::string url = server.Url("/newer");
    EXPECT_EQ(FetchFailure(url), std::string(curl_easy_strerror(CURLE_PEER_FAILED_VERIFICATION)));
    EXPECT_TRUE(RunCheck(url).empty());

    // With its certificate trusted, the same server does offer a newer release: the
    // refusal above is the certificate check and nothing else.
    EXPECT_EQ(RunCheck(url, Trusting(server)), std::vector<std::string>{"2.4.1\n"});
}

TEST(UpdateCheckWaiting, ServerThatNeverAnswersHoldsNothingUp) {
    HttpFixture server;  // its own: stopping it is what lets the check end
    auto receiver = std::make_unique<Receiver>();
    const unsigned before = StartCheck(server.Url("/hang"), receiver.get());
    ASSERT_TRUE(server.WaitForRequest("/hang", 30s));

    // The check waits on the server while the user-interface thread goes on with its
    // events.
    int handled = 0;
    for (int i = 0; i < 50; ++i) {
        receiver->CallAfter([&handled] { ++handled; });
        wxTheApp->ProcessPendingEvents();
        wxMilliSleep(10);
    }
    EXPECT_EQ(handled, 50);
    EXPECT_EQ(UpdateCheckThread::FinishedCount(), before);
    EXPECT_TRUE(receiver->payloads.empty());

    // The receiver goes away while the check still runs, as at exit; the check then ends
    // on its own when the server does, with nobody to tell.
    receiver.reset();
    server.Stop();
    EXPECT_TRUE(CheckFinished(before));
}

TEST(UpdateCheckWaiting, ResultForAClosedReceiverIsDropped) {
    HttpFixture server;
    Receiver receiver;
    const unsigned before = StartCheck(server.Url("/hold"), &receiver);
    ASSERT_TRUE(server.WaitForRequest("/hold", 30s));

    CloseEventSink(&receiver);
    server.ReleaseHeld();
    EXPECT_TRUE(CheckFinished(before));
    EXPECT_TRUE(receiver.payloads.empty());

    // The same answer does reach a receiver that is still open.
    OpenEventSink(&receiver);
    const unsigned again = StartCheck(server.Url("/hold"), &receiver);
    EXPECT_TRUE(CheckFinished(again));
    EXPECT_EQ(receiver.payloads, std::vector<std::string>{"2.4.1\n"});
}

}  // namespace
