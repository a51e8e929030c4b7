#include <string>

#include <gtest/gtest.h>

#include "update/UpdateCheckThread.h"
#include "update/Version.h"

namespace {

bool NewerThanRunning(const std::string& fetched) {
    return UpdateCheckThread::IsNewerVersion("2.4.0", fetched);
}

TEST(IsNewerVersion, LaterReleasesByFirstDifferingNumber) {
    for (const char* fetched : {"2.4.1", "2.5.0", "3.0.0", "3.3.9", "3.4.0", "2.4.10", "10.0.0"}) {
        EXPECT_TRUE(NewerThanRunning(fetched)) << fetched;
    }
}

TEST(IsNewerVersion, SameOrEarlierReleasesAreNotNewer) {
    for (const char* fetched : {"2.4.0", "2.3.9", "2.3.10", "1.9.9", "0.99.99", "2.4.-1"}) {
        EXPECT_FALSE(NewerThanRunning(fetched)) << fetched;
    }
}

TEST(IsNewerVersion, ReadsLikeScanfOfThreeDottedNumbers) {
    EXPECT_TRUE(NewerThanRunning("2.4.1\n"));
    EXPECT_TRUE(NewerThanRunning("2.4.1\r\n"));
    EXPECT_TRUE(NewerThanRunning(" 2.4.1"));
    EXPECT_TRUE(NewerThanRunning("\t2. 5. 0"));
    EXPECT_TRUE(NewerThanRunning("2.+5.0"));
    EXPECT_TRUE(NewerThanRunning("2.4.1 is out, 1.0.0 is old"));
    EXPECT_FALSE(NewerThanRunning("2.4.0-beta"));
    EXPECT_TRUE(NewerThanRunning("2.4.1-beta"));
}

TEST(IsNewerVersion, TextWithoutThreeNumbersIsNeverNewer) {
    for (const char* fetched : {"", "\n", "v2.5.0", "2.5", "3", "2.5.", "2..5", "2,5,0",
                                "<!DOCTYPE html>\n<html><body>9.9.9</body></html>"}) {
        EXPECT_FALSE(NewerThanRunning(fetched)) << fetched;
    }
    // A running version that cannot be read offers nothing either.
    EXPECT_FALSE(UpdateCheckThread::IsNewerVersion("", "9.9.9"));
    // The text stops at the first zero byte, as for any C string.
    EXPECT_FALSE(NewerThanRunning(std::string("2.4\0.1", 6)));
}

TEST(Version, ParseKeepsFieldsInTextOrder) {
    const auto version = Version::Parse("2.4.0-beta");
    ASSERT_TRUE(version.has_value());
    EXPECT_EQ(version->first, 2);
    EXPECT_EQ(version->second, 4);
    EXPECT_EQ(version->third, 0);
    EXPECT_EQ(*version, (Version{2, 4, 0}));
    EXPECT_NE(*version, (Version{2, 4, 1}));
    EXPECT_FALSE(Version::Parse("2.4").has_value());
}

TEST(Version, NumbersBeyondTheirRangeAreRefusedNotWrapped) {
    const struct {
        const char* text;
        bool readable;
    } cases[] = {
        {"2.4.2147483647", true},  {"-2147483648.0.0", true},  {"2.4.2147483648", false},
        {"2.4.4294967296", false}, {"99999999999.0.0", false}, {"2.-2147483649.0", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Version::Parse(c.text).has_value(), c.readable) << c.text;
    }
    // Wrapped, the last one would have read as 2.4.0 and been "newer" than 2.3.9.
    EXPECT_FALSE(UpdateCheckThread::IsNewerVersion("2.3.9", "2.4.4294967296"));
}

TEST(WriteToString, AppendsEveryByteAndAcceptsThem) {
    std::string out = "ab";
    char data[] = {'1', '\0', '2', '.', '4', '\n'};
    EXPECT_EQ(WriteToString(data, 2, 3, &out), 6u);
    EXPECT_EQ(out, std::string("ab1\0002.4\n", 8));
}

TEST(WriteToString, RefusesWithoutTarget) {
    char data[] = "2.4.1";
    EXPECT_EQ(WriteToString(data, 1, 5, nullptr), 0u);
}

TEST(WriteToString, RefusesBytesBeyondTheLimit) {
    const size_t limit = UpdateCheckThread::kMaxBodySize;
    EXPECT_EQ(limit, 64u * 1024u);
    std::string chunk(4096, '#');

    std::string out(limit - chunk.size(), '#');
    EXPECT_EQ(WriteToString(chunk.data(), 1, chunk.size(), &out), chunk.size());
    EXPECT_EQ(out.size(), limit);

    char one = '#';
    EXPECT_EQ(WriteToString(&one, 1, 1, &out), 0u);
    EXPECT_EQ(out.size(), limit);

    std::string partly(limit - 10, '#');
    EXPECT_EQ(WriteToString(chunk.data(), 1, chunk.size(), &partly), 0u);
    EXPECT_EQ(partly.size(), limit - 10);
}

}  // namespace
