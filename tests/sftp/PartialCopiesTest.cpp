// Local copies in progress at exit: removed when the exit leaves a worker behind, kept once
// complete (the copy may then be the only one). Its own program, because the exit state is
// final for the process.
#include <gtest/gtest.h>
#include <wx/file.h>
#include <wx/filefn.h>

#include "pickup/sftp/PartialCopies.h"

TEST(PartialCopies, TheExitRemovesCopiesInProgressAndKeepsCompleteOnes) {
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
