// The printer list against a private CUPS scheduler.
#include <cups/cups.h>

#include <memory>

#include <gtest/gtest.h>

#include "child_signals.h"
#include "pickup/Printers.h"
#include "support/AppUnderTest.h"
#include "support/CupsFixture.h"
#include "ui/TeskFrame.h"

namespace {

wxArrayString Names(std::initializer_list<const char*> names) {
    wxArrayString array;
    for (const char* name : names) {
        array.Add(name);
    }
    return array;
}

}  // namespace

// The default is the second queue, so that finding it cannot rest on the order.
TEST(PrinterDiscovery, ListsEveryQueueAndTheDefaultSelectedInTheWindow) {
    PrepareForChildExits(*wxTheApp);
    CupsFixture cups({"Alpha", "Beta"}, "Beta");

    EXPECT_EQ(QueryPrinterNames(), Names({"Alpha", "Beta"}));
    EXPECT_EQ(QueryDefaultPrinterName(), "Beta");

    AppUnderTest subject;
    PrepareForChildExits(subject.app());
    const wxChoice* choice = subject.app().frame->printerChoice;
    ASSERT_EQ(choice->GetCount(), 2u);
    EXPECT_EQ(choice->GetString(0), "Alpha");
    EXPECT_EQ(choice->GetString(1), "Beta");
    EXPECT_EQ(choice->GetSelection(), 1);
    EXPECT_TRUE(choice->IsEnabled());
    EXPECT_EQ(subject.app().frame->GetPrinter(), "Beta");
}

TEST(PrinterDiscovery, WithoutADefaultTheWindowSelectsNothing) {
    PrepareForChildExits(*wxTheApp);
    CupsFixture cups({"Alpha", "Beta"}, "");

    EXPECT_EQ(QueryPrinterNames(), Names({"Alpha", "Beta"}));
    EXPECT_EQ(QueryDefaultPrinterName(), "");

    AppUnderTest subject;
    PrepareForChildExits(subject.app());
    EXPECT_EQ(subject.app().frame->printerChoice->GetSelection(), wxNOT_FOUND);
    EXPECT_FALSE(subject.app().frame->HasPrinter());
}

TEST(PrinterDiscovery, NoSchedulerMeansNoPrinters) {
    cupsSetServer("/nonexistent/corvane-test/cups.sock");
    EXPECT_TRUE(QueryPrinterNames().IsEmpty());
    EXPECT_EQ(QueryDefaultPrinterName(), "");
    cupsSetServer(nullptr);
}
