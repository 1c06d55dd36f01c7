// CListRow keeps both column texts in one buffer; each column must read back
// exactly what was last set, whatever happens to the other one.

#include "list_rows.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

using namespace std::string_view_literals;

// Long enough that both texts together leave the string's inline storage.
const std::string kLong = "Img20240518_090211_000.jpg";

void ExpectTexts(const CListRow& row, std::string_view text0, std::string_view text1) {
    EXPECT_EQ(row.Text(0), text0);
    EXPECT_EQ(row.Text(1), text1);
}

TEST(ListRowTest, NewRowHasEmptyTexts) {
    const CListRow row;
    ExpectTexts(row, "", "");
}

TEST(ListRowTest, EachColumnReadsBackAloneAndTogether) {
    CListRow row;
    row.SetText(1, "converted");
    ExpectTexts(row, "", "converted");
    row.SetText(0, "IMG_1.jpg");
    ExpectTexts(row, "IMG_1.jpg", "converted");
    row.SetText(1, kLong);
    ExpectTexts(row, "IMG_1.jpg", kLong);
}

TEST(ListRowTest, Column0GrowingAndShrinkingKeepsColumn1) {
    CListRow row;
    row.SetText(0, "a.jpg");
    row.SetText(1, "b.jpg");
    row.SetText(0, "abc.jpg"); // still inline
    ExpectTexts(row, "abc.jpg", "b.jpg");
    row.SetText(0, kLong); // out of the inline storage
    ExpectTexts(row, kLong, "b.jpg");
    row.SetText(0, "x");
    ExpectTexts(row, "x", "b.jpg");
    row.SetText(0, "longer name.jpg"); // grows within the buffer already there
    ExpectTexts(row, "longer name.jpg", "b.jpg");
    row.SetText(0, kLong + kLong); // needs a bigger buffer
    ExpectTexts(row, kLong + kLong, "b.jpg");
}

TEST(ListRowTest, Column1GrowingAndShrinkingKeepsColumn0) {
    CListRow row;
    row.SetText(0, "IMG_12345.jpg");
    row.SetText(1, "1716022931"); // a date value, then the converted name
    ExpectTexts(row, "IMG_12345.jpg", "1716022931");
    row.SetText(1, kLong);
    ExpectTexts(row, "IMG_12345.jpg", kLong);
    row.SetText(1, "y");
    ExpectTexts(row, "IMG_12345.jpg", "y");
    // Longer than any name a file system takes: cut, the companions kept.
    row.SetCompanions("a.cr2\0"sv);
    row.SetText(1, std::string(70000, 'n'));
    ExpectTexts(row, "IMG_12345.jpg", std::string(CListRow::kMaxColumn1, 'n'));
    EXPECT_EQ(row.Companions(), "a.cr2\0"sv);
}

TEST(ListRowTest, EmptyTextsLeaveTheOtherColumn) {
    CListRow row;
    row.SetText(0, kLong);
    row.SetText(1, "b.jpg");
    row.SetText(0, "");
    ExpectTexts(row, "", "b.jpg");
    row.SetText(0, "a.jpg");
    row.SetText(1, "");
    ExpectTexts(row, "a.jpg", "");
    row.SetText(0, "");
    ExpectTexts(row, "", "");
}

TEST(ListRowTest, BytesAreKeptAsTheyAre) {
    CListRow row;
    row.SetText(0, "\xff");
    row.SetText(1, "\xc3(\xa0\xa1.jpg");
    ExpectTexts(row, "\xff", "\xc3(\xa0\xa1.jpg");
    // A NUL byte is a byte like any other: lengths, not terminators, split the texts.
    row.SetText(0, "a\0b"sv);
    ExpectTexts(row, "a\0b"sv, "\xc3(\xa0\xa1.jpg");
    row.SetText(1, "\0"sv);
    ExpectTexts(row, "a\0b"sv, "\0"sv);
}

// A text taken from the same row, as when a renamed file's column 0 becomes
// its column 1, both where the buffer is rewritten in place and where it grows.
TEST(ListRowTest, TextMayComeFromTheSameRow) {
    CListRow row;
    row.SetText(0, "a.jpg");
    row.SetText(1, kLong);
    row.SetText(0, row.Text(1));
    ExpectTexts(row, kLong, kLong);
    row.SetText(0, "a.jpg");
    row.SetText(1, row.Text(0));
    ExpectTexts(row, "a.jpg", "a.jpg");
    row.SetText(1, row.Text(1).substr(2));
    ExpectTexts(row, "a.jpg", "jpg");
}

TEST(ListRowTest, CopiesAreIndependent) {
    CListRow row;
    row.SetText(0, "IMG_12345.jpg");
    row.SetText(1, kLong);
    row.nImage = 1;
    row.nData = 42;
    CListRow copy = row;
    copy.SetText(0, "other.jpg");
    ExpectTexts(row, "IMG_12345.jpg", kLong);
    ExpectTexts(copy, "other.jpg", kLong);
    EXPECT_EQ(copy.nImage, 1);
    EXPECT_EQ(copy.nData, 42);
}

} // namespace
