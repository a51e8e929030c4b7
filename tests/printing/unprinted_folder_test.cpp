// Where a document that could not be printed is kept, and under which name.
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pickup/printing/UnprintedFolder.h"
#include "support/TestHelpers.h"

namespace {

class Scratch : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "corvane-unprinted-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = root + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    std::vector<std::string> Entries(const std::string& directory) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(directory)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string root;
};

}  // namespace

TEST(UnprintedNames, ServerNamesBecomeSafePlainFileNames) {
    const struct {
        const char* server;
        const char* kept;
    } cases[] = {
        {"Invoice 7.pdf", "Invoice 7.pdf"},
        {"Rechnung März.pdf", "Rechnung März.pdf"},
        {"../../etc/passwd", "_.._etc_passwd"},
        {"/etc/passwd", "_etc_passwd"},
        {"a\\b:c*d?e\"f<g>h|i.pdf", "a_b_c_d_e_f_g_h_i.pdf"},
        {"tab\there\n.pdf", "tab_here_.pdf"},
        {"..", "document"},
        {".", "document"},
        {"", "document"},
        {" . ", "document"},
        {".hidden.pdf", "hidden.pdf"},
        {"trailing. .", "trailing"},
        {"con.pdf", "_con.pdf"},
        {"LPT1", "_LPT1"},
        {"com10.pdf", "com10.pdf"},
        // Devices are judged on the part before the first dot, trailing blanks and dots aside.
        {"Con.Edison bill.pdf", "_Con.Edison bill.pdf"},
        {"nul.report.pdf", "_nul.report.pdf"},
        {"AUX .pdf", "_AUX .pdf"},
        {"prn. .x.pdf", "_prn. .x.pdf"},
        {"COM\xc2\xb9.pdf", "_COM\xc2\xb9.pdf"},
        {"conout$.log", "_conout$.log"},
        {"Contract.pdf", "Contract.pdf"},
        // Types Windows would run get ".txt".
        {"setup.exe", "setup.exe.txt"},
        {"Photo.JPG.lnk", "Photo.JPG.lnk.txt"},
        {"x.Js", "x.Js.txt"},
        {"invoice.pdf.vbs. ", "invoice.pdf.vbs.txt"},
        {"nul.bat", "_nul.bat.txt"},
        {"notes.json", "notes.json"},
        // Direction controls would show "invoiceexe.pdf".
        {"invoice\xe2\x80\xae"
         "fdp.exe",
         "invoicefdp.exe.txt"},
        {"a\xe2\x81\xa6"
         "b\xe2\x81\xa9.pdf",
         "ab.pdf"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SafeDocumentName(wxString::FromUTF8(c.server)).utf8_string(), c.kept)
            << "from " << c.server;
    }
}

TEST(UnprintedNames, LongNamesAreShortenedAndKeepTheirType) {
    for (const std::string letter : {"x", "\xc3\xa9", "\xe2\x82\xac"}) {  // 1, 2, 3 bytes
        std::string name;
        for (int i = 0; i < 300; ++i) {
            name += letter;
        }
        const std::string kept = SafeDocumentName(wxString::FromUTF8(name + ".pdf")).utf8_string();
        EXPECT_LE(kept.size(), 200u);
        EXPECT_GT(kept.size(), 190u);
        EXPECT_EQ(kept.substr(kept.size() - 4), ".pdf");
        EXPECT_EQ(wxString::FromUTF8(kept).utf8_string(), kept);  // whole characters only
    }
}

// Counted in UTF-16 units, as Windows counts its paths: a 4-byte character takes two.
TEST(UnprintedNames, ABoundOnTheLengthKeepsTheType) {
    for (const std::string letter : {"x", "\xf0\x9f\x93\x84"}) {
        std::string name;
        for (int i = 0; i < 300; ++i) {
            name += letter;
        }
        const wxString kept = SafeDocumentName(wxString::FromUTF8(name + ".exe"), 40);
        EXPECT_TRUE(kept.EndsWith(".exe.txt")) << kept;
        const size_t units = letter == "x" ? kept.length() : 2 * (kept.length() - 8) + 8;
        EXPECT_LE(units, 40u);
        EXPECT_GE(units, 39u);
    }
    EXPECT_EQ(SafeDocumentName("AUX .pdf", 40), "_AUX .pdf");  // a name that fits stays whole
}

// One pass over the name, however long: a server's 500,000-character name (far beyond what
// the worker takes) is shortened as quickly as a short one; a shortening that re-measured
// the name after each character dropped would run for hours here.
TEST(UnprintedNames, HugeNamesAreShortenedInOnePass) {
    const wxString huge = wxString(wxUniChar(0x20AC), 500000) + ".pdf";
    const wxString kept = SafeDocumentName(huge, 100, KeptTypes::DocumentsOnly);
    EXPECT_TRUE(kept.EndsWith(".pdf")) << kept;
    EXPECT_EQ(kept.utf8_str().length(), 65 * 3 + 4u);  // 200 bytes at most, whole characters
    const wxString shorter = SafeDocumentName(huge, 40, KeptTypes::DocumentsOnly);
    EXPECT_EQ(shorter.length(), 40u);
}

// Where a type may act when the folder is merely shown (Windows), only a few document types
// keep theirs.
TEST(UnprintedNames, OnlyDocumentTypesKeepTheirType) {
    const struct {
        const char* server;
        const char* kept;
    } cases[] = {
        {"Invoice 7.pdf", "Invoice 7.pdf"},
        {"scan.TIF", "scan.TIF"},
        {"a.ps", "a.ps"},
        {"b.xps", "b.xps"},
        {"notes.txt", "notes.txt"},
        {"photo.jpg", "photo.jpg"},
        {"photo.png", "photo.png"},
        {"README", "README"},
        {"notes.json", "notes.json.txt"},
        {"setup.exe", "setup.exe.txt"},
        {"portal.url", "portal.url.txt"},
        {"Explorer.scf", "Explorer.scf.txt"},
        {"x.library-ms", "x.library-ms.txt"},
        {"y.searchConnector-ms", "y.searchConnector-ms.txt"},
        {"report.pdf.lnk", "report.pdf.lnk.txt"},
        {"nul.url", "_nul.url.txt"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SafeDocumentName(wxString::FromUTF8(c.server), 0, KeptTypes::DocumentsOnly)
                      .utf8_string(),
                  c.kept)
            << "from " << c.server;
    }
}

TEST(UnprintedNames, NumberedNamesGoBeforeTheType) {
    EXPECT_EQ(NumberedName("a.pdf", 1), "a.pdf");
    EXPECT_EQ(NumberedName("a.pdf", 2), "a (2).pdf");
    EXPECT_EQ(NumberedName("archive.tar.gz", 12), "archive.tar (12).gz");
    EXPECT_EQ(NumberedName("README", 3), "README (3)");
}

TEST(UnprintedFolderPlace, FollowsXdgDataHomeWhenItIsAbsolute) {
    const ScopedEnv home("HOME", "/home/someone");
    const struct {
        const char* dataHome;  // null: unset
        const char* folder;
    } cases[] = {
        {"/data/user", "/data/user/corvane-print-spooler/unprinted"},
        {"/data/user/", "/data/user/corvane-print-spooler/unprinted"},
        {nullptr, "/home/someone/.local/share/corvane-print-spooler/unprinted"},
        {"", "/home/someone/.local/share/corvane-print-spooler/unprinted"},
        {"relative/data", "/home/someone/.local/share/corvane-print-spooler/unprinted"},
    };
    for (const auto& c : cases) {
        const ScopedEnv dataHome("XDG_DATA_HOME", c.dataHome);
        EXPECT_EQ(UnprintedFolder(), c.folder) << (c.dataHome ? c.dataHome : "(unset)");
    }
}

// Whatever the server calls a document, it lands in the folder itself, next to the others.
TEST_F(Scratch, KeptDocumentsStayInsideTheFolderUnderNamesOfTheirOwn) {
    const ScopedEnv dataHome("XDG_DATA_HOME", (root + "/data").c_str());
    const std::string folder = root + "/data/corvane-print-spooler/unprinted";
    const char* names[] = {"../../escape.pdf", "/tmp/escape.pdf", "..", "",
                           "a/b.pdf",          "../escape.pdf"};
    int n = 0;
    for (const char* name : names) {
        const std::string bytes = "document " + std::to_string(n);
        const std::string file = Write("download-" + std::to_string(n++), bytes);
        const UnprintedOutcome outcome = KeepUnprinted(file, wxString::FromUTF8(name));
        ASSERT_FALSE(outcome.keptAs.empty()) << name;
        const std::filesystem::path kept(outcome.keptAs.utf8_string());
        EXPECT_EQ(kept.parent_path(), folder) << name;
        EXPECT_EQ(ReadAll(kept.string()), bytes);
        EXPECT_FALSE(std::filesystem::exists(file));
        EXPECT_EQ(outcome.notice,
                  "The document could not be printed. It was kept in " + folder + ".");
    }
    EXPECT_EQ(Entries(root), std::vector<std::string>{"data"});
    EXPECT_EQ(Entries(folder),
              (std::vector<std::string>{"_.._escape.pdf", "_escape.pdf", "_tmp_escape.pdf",
                                        "a_b.pdf", "document", "document (2)"}));
}

// When the folder cannot be made, the temporary file is the only copy: it stays, and the
// notice says where.
TEST_F(Scratch, ADocumentThatCannotBeKeptStaysWhereItIs) {
    Write("not-a-folder", "");
    const ScopedEnv dataHome("XDG_DATA_HOME", (root + "/not-a-folder").c_str());
    const std::string file = Write("download", "bytes");

    const UnprintedOutcome outcome = KeepUnprinted(file, "doc.pdf");

    EXPECT_TRUE(outcome.keptAs.empty());
    EXPECT_EQ(ReadAll(file), "bytes");
    EXPECT_EQ(outcome.notice, "The document could not be printed, nor kept in " + root +
                                  "/not-a-folder/corvane-print-spooler/unprinted. It was left in " +
                                  root + ".");
}

// A folder on another file system: the document is copied there, and only a complete copy
// replaces the temporary file. A small tmpfs stands for a full disk.
TEST_F(Scratch, AcrossFileSystemsOnlyACompleteCopyReplacesTheFile) {
    const std::string mount = root + "/small";
    std::filesystem::create_directories(mount);
    if (system(("mount -t tmpfs -o size=64k tmpfs '" + mount + "' 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    }
    const ScopedEnv dataHome("XDG_DATA_HOME", mount.c_str());
    const std::string folder = mount + "/corvane-print-spooler/unprinted";

    const std::string big = Write("big", std::string(256 * 1024, 'b'));
    const UnprintedOutcome full = KeepUnprinted(big, "big.pdf");
    EXPECT_TRUE(full.keptAs.empty());
    EXPECT_EQ(ReadAll(big).size(), 256u * 1024);
    const std::vector<std::string> afterFull = Entries(folder);

    const std::string small = Write("small-doc", std::string(8 * 1024, 's'));
    const UnprintedOutcome kept = KeepUnprinted(small, "small.pdf");
    EXPECT_EQ(kept.keptAs, folder + "/small.pdf");
    EXPECT_EQ(ReadAll(folder + "/small.pdf"), std::string(8 * 1024, 's'));
    EXPECT_FALSE(std::filesystem::exists(small));

    system(("umount -l '" + mount + "'").c_str());
    EXPECT_TRUE(afterFull.empty()) << "a partial copy was left";
}
