// When a PDF's upload has ended: its end marker within the last 1024 bytes.
#include <gtest/gtest.h>

#include "pickup/sftp/UploadEnd.h"

namespace {

struct TailCase {
    const char* what;
    std::string tail;
    bool complete;
};

std::string Padded(const std::string& marker, size_t after) {
    return std::string(3000, 'x') + marker + std::string(after, ' ');
}

}  // namespace

TEST(UploadEnd, PdfEndMarkerCountsOnlyWithinTheLastKilobyte) {
    const std::vector<TailCase> cases{
        {"marker last", Padded("%%EOF", 0), true},
        {"marker and line end", Padded("%%EOF\r\n", 0), true},
        {"marker followed by 1019 bytes", Padded("%%EOF", UploadEnd::kTailSize - 5), true},
        {"marker followed by 1020 bytes", Padded("%%EOF", UploadEnd::kTailSize - 4), false},
        {"marker cut", Padded("%%EO", 0), false},
        {"no marker", std::string(2000, 'x'), false},
        {"short file, marker", "%PDF-1.4\n%%EOF", true},
        {"empty", "", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(UploadEnd::HasPdfEnd(c.tail), c.complete) << c.what;
    }
}

TEST(UploadEnd, OnlyAFileStartingWithThePdfHeaderIsAPdf) {
    EXPECT_TRUE(UploadEnd::StartsAsPdf("%PDF-1.7\n"));
    EXPECT_TRUE(UploadEnd::StartsAsPdf("%PDF-"));
    for (const std::string start : {"%PDF", " %PDF-1.4", "%!PS-Adobe", "", "%pdf-1.4"}) {
        EXPECT_FALSE(UploadEnd::StartsAsPdf(start)) << start;
    }
}
