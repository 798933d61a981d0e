#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/option_view.h"

TEST(OptionListing, EightWordsPerLine) {
    const std::vector<uint16_t> eight = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(OptionListing(eight, 8), "0001 0002 0003 0004 0005 0006 0007 0008 \r\n");
    EXPECT_EQ(std::string(kLoadFailedText) + OptionListing(eight, 8),
              "Failed to load Option DLL!\n\n0001 0002 0003 0004 0005 0006 0007 0008 \r\n");

    const std::vector<uint16_t> nine = {0xABCD, 0, 0, 0, 0, 0, 0, 0, 0xFFFF};
    EXPECT_EQ(OptionListing(nine, 9), "ABCD 0000 0000 0000 0000 0000 0000 0000 \r\nFFFF ");
    EXPECT_EQ(OptionListing(nine, 0), "");
    // A count beyond the block lists only what is there.
    EXPECT_EQ(OptionListing({0x12}, 5), "0012 ");
}

TEST(OptionListing, NeverPassesItsBuffer) {
    const std::vector<uint16_t> many(300, 0xBEEF);
    const std::string text = OptionListing(many, many.size());
    EXPECT_EQ(text.size(), kOptionListingSize - 2);  // 126 characters and the zero
    EXPECT_EQ(text.substr(text.size() - 7), "BEEF \r\n");
    EXPECT_EQ(OptionListing(many, 24), text);
}

TEST(OptionView, FileChoiceAndPrintCommandLine) {
    EXPECT_EQ(ChooseOptionFile(true, false), OptionFileChoice::ImageFile);
    EXPECT_EQ(ChooseOptionFile(true, true), OptionFileChoice::ImageFile);
    EXPECT_EQ(ChooseOptionFile(false, true), OptionFileChoice::TemporaryOtp);
    EXPECT_EQ(ChooseOptionFile(false, false), OptionFileChoice::NoDriverBody);

    EXPECT_EQ(PrintCommandLine("C:\\prog\\Tessel32.exe", "C:\\job\\a.otp", "ZK30P11C-4"),
              "C:\\prog\\Tessel32.exe \"C:\\job\\a.otp\" ZK30P11C-4");
    EXPECT_EQ(PrintCommandLine("T.exe", "", "B"), "T.exe \"\" B");
    EXPECT_EQ(PrintCommandLine("C:\\Program Files\\P\\Tessel32.exe", "C:\\a.otp", "B"),
              "\"C:\\Program Files\\P\\Tessel32.exe\" \"C:\\a.otp\" B");
}
