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

// Starts a check of `url` as start-up does, reporting to `receiver`; returns the count of
// finished checks before it.
unsigned StartCheck(const std::string& url, wxEvtHandler* receiver) {
    const unsigned before = UpdateCheckThread::FinishedCount();
    wxThread* worker = UrlUpdateCheck(url).CreateCheckThread(receiver);
    EXPECT_EQ(worker->Run(), wxTHREAD_NO_ERROR);
    return before;
}

bool CheckFinished(unsigned before) {
    return PumpUntil([before] { return UpdateCheckThread::FinishedCount() > before; });
}

// Runs one check to the end; returns the payloads of the events it queued.
std::vector<std::string> RunCheck(const std::string& url) {
    Receiver receiver;
    const unsigned before = StartCheck(url, &receiver);
    EXPECT_TRUE(CheckFinished(before)) << url;
    for (int id : receiver.ids) {
        EXPECT_EQ(id, wxID_ANY);
    }
    return receiver.payloads;
}

std::string Fetch(const std::string& url) {
    UpdateCheckThread thread(nullptr, url);
    return thread.FetchVersionText();
}

// The message that fetching `url` throws, or nothing.
std::optional<std::string> FetchFailure(const std::string& url) {
    try {
        Fetch(url);
    } catch (const std::string& message) {
        return message;
    }
    return std::nullopt;
}

class UpdateCheckOverHttp : public testing::Test {
protected:
    static void SetUpTestSuite() { server = std::make_unique<HttpFixture>(); }
    static void TearDownTestSuite() { server.reset(); }
    static std::unique_ptr<HttpFixture> server;
};
std::unique_ptr<HttpFixture> UpdateCheckOverHttp::server;

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
                    Served{"/big", std::nullopt}),
    [](const testing::TestParamInfo<Served>& info) {
        std::string name = info.param.path + 1;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) {
                c = '_';
            }
        }
        return name;
    });

TEST_F(UpdateCheckOverHttp, RedirectionsAreFollowedToTheFinalBody) {
    for (const char* path : {"/redirect/301", "/redirect/302"}) {
        EXPECT_EQ(Fetch(server->Url(path)), "2.4.1\n") << path;
        EXPECT_EQ(server->RequestedPaths().back(), "/newer");
        EXPECT_EQ(RunCheck(server->Url(path)), std::vector<std::string>{"2.4.1\n"}) << path;
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

TEST_F(UpdateCheckOverHttp, FailuresThrowTheirMessage) {
    EXPECT_EQ(FetchFailure(server->Url("/status/404")), "An error has occurred");
    EXPECT_EQ(FetchFailure(server->Url("/status/500")), "An error has occurred");
    // A body beyond the limit ends the transfer from the write callback.
    EXPECT_EQ(FetchFailure(server->Url("/big")),
              std::string(curl_easy_strerror(CURLE_WRITE_ERROR)));
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
    std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
    std::string body;
    const std::string ca = server.File("cert.pem");
    curl_easy_setopt(curl.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_CAINFO, ca.c_str());
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, WriteToString);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEDATA, &body);
    EXPECT_EQ(curl_easy_perform(curl.get()), CURLE_OK);
    EXPECT_EQ(body, "2.4.1\n");
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
