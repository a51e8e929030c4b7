#include <gtest/gtest.h>

#include "pickup/sftp/AccountName.h"

TEST(AccountName, KeepsLettersDigitsAndDashes) {
    EXPECT_EQ(EncodeAccountName("Ab-9"), "Ab-9");
    EXPECT_EQ(EncodeAccountName("ABCXYZabcxyz0189-"), "ABCXYZabcxyz0189-");
    EXPECT_EQ(EncodeAccountName(""), "");
}

TEST(AccountName, SpellsOutAtAndDotEverywhere) {
    EXPECT_EQ(EncodeAccountName("a.b"), "a_dot_b");
    EXPECT_EQ(EncodeAccountName("@."), "_at__dot_");
    EXPECT_EQ(EncodeAccountName("john.doe@mail.example"), "john_dot_doe_at_mail_dot_example");
}

TEST(AccountName, EveryOtherByteBecomesOneUnderscore) {
    EXPECT_EQ(EncodeAccountName("x y+z"), "x_y_z");
    EXPECT_EQ(EncodeAccountName("_"), "_");
    EXPECT_EQ(EncodeAccountName("a\tb\x01"), "a_b_");
    EXPECT_EQ(EncodeAccountName("/\\:;'\"!~`"), "_________");
    // U+00E9 in UTF-8 is two bytes, the euro sign three; the bytes of both are above 0x7f,
    // so no locale can make them count as letters.
    EXPECT_EQ(EncodeAccountName("caf\xc3\xa9"), "caf__");
    EXPECT_EQ(EncodeAccountName("\xe2\x82\xac"
                                "1"),
              "___1");
    EXPECT_EQ(EncodeAccountName(std::string("a\0b", 3)), "a_b");
}

TEST(AccountName, IsNotReversible) {
    EXPECT_EQ(EncodeAccountName("@"), EncodeAccountName("_at_"));
    EXPECT_EQ(EncodeAccountName("."), EncodeAccountName("_dot_"));
}
