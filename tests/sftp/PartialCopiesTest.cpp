// Local copies in the outbox. In progress at exit: removed when the exit leaves a worker
// behind, kept once complete (the copy may then be the only one). Complete: a record beside
// each says where it stands, and the next run takes over what an earlier one left. Its own
// program, because the exit state is final for the process.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wx/file.h>
#include <wx/filefn.h>

#include "pickup/outbox/Outbox.h"
#include "pickup/sftp/PartialCopies.h"
#include "support/TestHelpers.h"

namespace fs = std::filesystem;

namespace {

class OutboxTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/corvane-outbox-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        scratch = pattern;
        state = std::make_unique<ScopedEnv>("XDG_STATE_HOME", scratch.c_str());
    }
    void TearDown() override {
        state.reset();
        fs::remove_all(scratch);
    }

    // A copy as an earlier run left it: written by another process's id, with or without
    // its record.
    std::string Leave(const std::string& id, const std::optional<OutboxRecord>& record,
                      bool withCopy = true) {
        const std::string folder = scratch + "/corvane-print-spooler/outbox/";
        fs::create_directories(folder);
        if (withCopy) {
            std::ofstream(folder + id + ".copy") << "document " << id;
        }
        if (record) {
            std::ofstream(folder + id + ".rec") << FormatOutboxRecord(*record);
        }
        return folder + id + ".copy";
    }

    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& entry :
             fs::directory_iterator(scratch + "/corvane-print-spooler/outbox")) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string scratch;
    std::unique_ptr<ScopedEnv> state;
};

OutboxRecord Record(const std::string& name, OutboxStage stage, bool kept = false) {
    return OutboxRecord{name, 1234, 1700000000, stage, kept};
}

}  // namespace

TEST(OutboxRecordText, ReadsBackWhatItWroteAndRefusesAnythingElse) {
    const OutboxRecord odd{std::string("a\nb=c\0d.pdf", 11), UINT64_MAX, UINT32_MAX,
                           OutboxStage::Given, true};
    EXPECT_EQ(ParseOutboxRecord(FormatOutboxRecord(odd)), odd);
    for (OutboxStage stage : {OutboxStage::Copied, OutboxStage::Removed, OutboxStage::Done}) {
        EXPECT_EQ(ParseOutboxRecord(FormatOutboxRecord(Record("x.pdf", stage))),
                  Record("x.pdf", stage));
    }
    const std::string whole = FormatOutboxRecord(Record("x.pdf", OutboxStage::Copied));
    const struct {
        const char* what;
        std::string text;
    } refused[] = {
        {"empty", ""},
        {"cut short", whole.substr(0, whole.size() - 4)},
        {"no end line", whole.substr(0, whole.find("end"))},
        {"unknown stage", "name=78\nsize=1\nmtime=0\nstage=printed\nkept=0\nend\n"},
        {"empty name", "name=\nsize=1\nmtime=0\nstage=copied\nkept=0\nend\n"},
        {"odd hex", "name=7\nsize=1\nmtime=0\nstage=copied\nkept=0\nend\n"},
        {"negative size", "name=78\nsize=-1\nmtime=0\nstage=copied\nkept=0\nend\n"},
        {"time past 32 bits", "name=78\nsize=1\nmtime=4294967296\nstage=copied\nkept=0\nend\n"},
        {"extra key", "name=78\nsize=1\nmtime=0\nstage=copied\nkept=0\nx=1\nend\n"},
        {"huge", std::string(5000, 'x') + "\nend\n"},
    };
    for (const auto& text : refused) {
        EXPECT_FALSE(ParseOutboxRecord(text.text)) << text.what;
    }
    // The layout of earlier versions, stage last and unpadded, still reads.
    EXPECT_EQ(ParseOutboxRecord("name=782e706466\nsize=1234\nmtime=1700000000\nstage=given\n"
                                "kept=0\nend\n"),
              Record("x.pdf", OutboxStage::Given));
}

TEST_F(OutboxTest, ACopyGoesThroughItsStagesAndLeavesOnlyWhenFinished) {
    wxFile file;
    const wxString copy = outbox::NewCopy(file);
    ASSERT_FALSE(copy.empty());
    EXPECT_TRUE(copy.StartsWith(scratch + "/corvane-print-spooler/outbox/"));
    file.Write("document");
    file.Close();
    EXPECT_FALSE(outbox::Read(copy));

    ASSERT_TRUE(outbox::Secure(copy, Record("a.pdf", OutboxStage::Copied)));
    EXPECT_EQ(outbox::Read(copy), Record("a.pdf", OutboxStage::Copied));
    // Each step is written into the same record file, not a new one.
    const std::string record = copy.ToStdString().substr(0, copy.size() - 5) + ".rec";
    struct stat before {};
    ASSERT_EQ(stat(record.c_str(), &before), 0);
    ASSERT_TRUE(outbox::SetStage(copy, OutboxStage::Removed));
    ASSERT_TRUE(outbox::SetStage(copy, OutboxStage::Given));
    struct stat after {};
    ASSERT_EQ(stat(record.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(outbox::Read(copy), Record("a.pdf", OutboxStage::Given));
    // This run's own documents are never handed out as an earlier run's.
    EXPECT_TRUE(outbox::ClaimEarlier().empty());
    EXPECT_EQ(Files().size(), 2u);

    outbox::Finished(copy);
    EXPECT_TRUE(Files().empty());
    EXPECT_NE(outbox::JobTag(copy).find(fs::path(copy.ToStdString()).stem().string()),
              std::string::npos);
}

TEST_F(OutboxTest, AFileTheServerKeepsIsRememberedUntilItIsForgotten) {
    wxFile file;
    const wxString copy = outbox::NewCopy(file);
    file.Close();
    ASSERT_TRUE(outbox::Secure(copy, Record("kept.pdf", OutboxStage::Copied)));
    ASSERT_TRUE(outbox::SetStage(copy, OutboxStage::Removed, true));
    outbox::Finished(copy);
    EXPECT_EQ(outbox::Read(copy), Record("kept.pdf", OutboxStage::Done, true));
    EXPECT_FALSE(wxFileExists(copy));

    outbox::ForgetKept(copy);
    EXPECT_TRUE(Files().empty());
}

TEST_F(OutboxTest, TheNextRunTakesOverWhatAnEarlierOneLeftOnceAndOldestFirst) {
    const std::string removed =
        Leave("0000000000002-1-000001", Record("b.pdf", OutboxStage::Removed));
    const std::string copied =
        Leave("0000000000001-1-000001", Record("a.pdf", OutboxStage::Copied));
    const std::string given = Leave("0000000000003-1-000001", Record("c.pdf", OutboxStage::Given));
    const std::string done =
        Leave("0000000000004-1-000001", Record("d.pdf", OutboxStage::Done, true), false);
    Leave("0000000000005-1-000001", std::nullopt);  // a partial copy
    Leave("0000000000006-1-000001", Record("f.pdf", OutboxStage::Removed), false);  // copy gone
    const std::string torn = Leave("0000000000007-1-000001", std::nullopt);
    std::ofstream(torn.substr(0, torn.size() - 5) + ".rec") << "name=67\nsize=1\n";
    Leave("0000000000008-1-000001", std::nullopt, false);
    std::ofstream(scratch + "/corvane-print-spooler/outbox/0000000000008-1-000001.rec.new")
        << "never renamed";

    const std::vector<outbox::Earlier> earlier = outbox::ClaimEarlier();
    ASSERT_EQ(earlier.size(), 4u);
    EXPECT_EQ(earlier[0].copy, copied);
    EXPECT_EQ(earlier[0].record, Record("a.pdf", OutboxStage::Copied));
    EXPECT_EQ(earlier[1].copy, removed);
    EXPECT_EQ(earlier[2].copy, given);
    EXPECT_EQ(earlier[3].copy, done);
    EXPECT_EQ(earlier[3].record.stage, OutboxStage::Done);
    EXPECT_EQ(Files(),
              (std::vector<std::string>{"0000000000001-1-000001.copy", "0000000000001-1-000001.rec",
                                        "0000000000002-1-000001.copy", "0000000000002-1-000001.rec",
                                        "0000000000003-1-000001.copy", "0000000000003-1-000001.rec",
                                        "0000000000004-1-000001.rec"}));

    // Handed out once; given back, it comes again.
    EXPECT_TRUE(outbox::ClaimEarlier().empty());
    outbox::Unclaim(copied);
    const std::vector<outbox::Earlier> again = outbox::ClaimEarlier();
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].copy, copied);
}

// Runs last: the exit state is final for the process.
TEST_F(OutboxTest, TheExitRemovesCopiesInProgressAndKeepsCompleteOnes) {
    wxFile failedFile, completeFile, pendingFile;
    const wxString failed = CreatePartialCopy(failedFile);
    const wxString complete = CreatePartialCopy(completeFile);
    const wxString pending = CreatePartialCopy(pendingFile);
    ASSERT_FALSE(failed.empty());
    ASSERT_FALSE(complete.empty());
    ASSERT_FALSE(pending.empty());
    failedFile.Close();
    completeFile.Close();
    pendingFile.Close();

    DropPartialCopy(failed);
    EXPECT_FALSE(wxFileExists(failed));
    ASSERT_TRUE(CompletePartialCopy(complete));
    // Once complete, a late drop (the hand-over failed after removal) leaves it alone.
    DropPartialCopy(complete);
    EXPECT_TRUE(wxFileExists(complete));

    RemovePartialCopiesForExit();
    EXPECT_FALSE(wxFileExists(pending));
    EXPECT_TRUE(wxFileExists(complete));
    // The worker finishing after the exit began learns its copy is gone.
    EXPECT_FALSE(CompletePartialCopy(pending));
    wxFile late;
    EXPECT_TRUE(CreatePartialCopy(late).empty());
    wxRemoveFile(complete);
}
