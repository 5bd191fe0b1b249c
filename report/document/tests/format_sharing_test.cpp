#include <gtest/gtest.h>

#include "document/kelvo_grid.h"

using namespace zentra::report;

namespace {
void expectSound(const TKelvoGrid& g) {
    EXPECT_EQ(g.CheckInvariants(), "");
}
}  // namespace

TEST(FormatSharing, ChangingOneOfTwoSharersThenTheOther) {
    TKelvoGrid g;
    TCellHandle a = g.GetCell(0, 0), b = g.GetCell(1, 0);
    a.SetFillColor(0x00FF00);
    b.SetFillColor(0x00FF00);
    ASSERT_EQ(g.Formats().Count(), 2u);
    EXPECT_EQ(a.FormatIndex(), 1);
    EXPECT_EQ(b.FormatIndex(), 1);
    EXPECT_EQ(g.Formats().At(1).RefCount, 2);

    a.SetFontSize(14);  // shared: a moves to a new, appended format
    ASSERT_EQ(g.Formats().Count(), 3u);
    EXPECT_EQ(a.FormatIndex(), 2);
    EXPECT_EQ(b.FormatIndex(), 1);
    EXPECT_EQ(b.FontSize(), 9);

    b.SetFontSize(14);  // b joins a's format; the old one has no user left and goes
    ASSERT_EQ(g.Formats().Count(), 2u);
    EXPECT_EQ(a.FormatIndex(), 1);
    EXPECT_EQ(b.FormatIndex(), 1);
    EXPECT_EQ(g.Formats().At(1).RefCount, 2);
    EXPECT_EQ(g.Formats().At(1).FontSize, 14);
    expectSound(g);
}

TEST(FormatSharing, DefaultFormatIsNeverAltered) {
    TKelvoGrid g;
    TCellHandle a = g.GetCell(0, 0);
    a.SetText("x");
    a.SetFontStyle(kFontBold);
    a.SetHorzAlign(2);
    EXPECT_TRUE(g.Formats().At(0).SameAttributes(TCellFormat{}));
    EXPECT_EQ(a.FormatIndex(), 1);
    EXPECT_EQ(g.Formats().Count(), 2u);  // the lone user's format changed in place
    EXPECT_EQ(a.FontStyle(), kFontBold);
    EXPECT_EQ(a.HorzAlign(), 2);
    expectSound(g);
}

// Setting a value a format already has: a lone user of a non-default format stays; a cell on the
// default (or a shared) format moves to an appended copy equal to its old format.
TEST(FormatSharing, SettingTheValueAlreadyThere) {
    TKelvoGrid g;
    TCellHandle a = g.GetCell(0, 0);
    a.SetFillColor(0xFFFFFF);
    EXPECT_EQ(g.Formats().Count(), 2u);
    EXPECT_EQ(a.FormatIndex(), 1);
    EXPECT_TRUE(g.Formats().At(1).SameAttributes(g.Formats().At(0)));

    a.SetFillColor(0xFFFFFF);       // its format now has an equal one earlier in the list
    EXPECT_EQ(a.FormatIndex(), 0);  // the first equal format in list order is the default
    EXPECT_EQ(g.Formats().Count(), 1u);

    a.SetFillColor(0x123456);
    a.SetFillColor(0x123456);  // lone user of a non-default format: stays
    EXPECT_EQ(a.FormatIndex(), 1);
    EXPECT_EQ(g.Formats().Count(), 2u);

    TCellHandle b = g.GetCell(1, 0);
    b.SetFillColor(0x123456);
    ASSERT_EQ(b.FormatIndex(), 1);
    b.SetFillColor(0x123456);  // shared: appended copy, equal to the old one
    EXPECT_EQ(g.Formats().Count(), 3u);
    EXPECT_EQ(b.FormatIndex(), 2);
    EXPECT_TRUE(g.Formats().At(2).SameAttributes(g.Formats().At(1)));
    expectSound(g);
}

TEST(FormatSharing, RevertingAChangeReturnsToTheDefault) {
    TKelvoGrid g;
    TCellHandle a = g.GetCell(0, 0);
    a.SetFontSize(12);
    a.SetFontSize(9);
    EXPECT_EQ(a.FormatIndex(), 0);
    EXPECT_EQ(g.Formats().Count(), 1u);
    EXPECT_TRUE(a.IsEmpty());
    expectSound(g);
}

// Every kind of attribute goes through the same copy-on-write path.
TEST(FormatSharing, EveryKindChangesOnlyItsAttribute) {
    TKelvoGrid g;
    TCellHandle a = g.GetCell(0, 0);
    TCellHandle b = g.GetCell(1, 0);
    b.SetText("keeps the default");
    a.SetFillColor(1);
    a.SetFontName("Courier");
    a.SetFontSize(11);
    a.SetFontStyle(kFontItalic | kFontUnderline);
    a.SetFontColor(2);
    a.SetHorzAlign(3);
    a.SetVertAlign(2);
    a.SetFrames(0x01010101);
    a.SetFrameColor(3);
    a.SetOptions(kOptWordWrap);
    a.SetAngle(90);
    a.SetDataFormat("0.00");
    EXPECT_EQ(a.FillColor(), 1u);
    EXPECT_EQ(a.FontName(), "COURIER");
    EXPECT_EQ(a.FontSize(), 11);
    EXPECT_EQ(a.FontStyle(), kFontItalic | kFontUnderline);
    EXPECT_EQ(a.FontColor(), 2u);
    EXPECT_EQ(a.HorzAlign(), 3);
    EXPECT_EQ(a.VertAlign(), 2);
    EXPECT_EQ(a.Frames(), 0x01010101u);
    EXPECT_EQ(a.FrameColor(), 3u);
    EXPECT_EQ(a.Options(), kOptWordWrap);
    EXPECT_EQ(a.Angle(), 90);
    EXPECT_EQ(a.DataFormat(), "0.00");
    EXPECT_EQ(g.Formats().Count(), 2u);
    EXPECT_EQ(b.FormatIndex(), 0);
    EXPECT_THROW(g.SetFormatProperty(*a.Stored(), EFormatKind::FontName, int64_t{1}),
                 std::invalid_argument);
    expectSound(g);
}

// Many cells with a few distinct looks keep a few formats, whatever the order of changes.
TEST(FormatSharing, ManyCellsFewFormats) {
    TKelvoGrid g;
    for (int r = 0; r < 200; ++r)
        for (int c = 0; c < 5; ++c) {
            TCellHandle h = g.GetCell(c, r);
            h.SetFillColor(static_cast<TColor>(r % 4));
            h.SetFontSize(8 + c % 2);
            h.SetHorzAlign(static_cast<uint8_t>(r % 3));
        }
    // 24 looks; setting a value a shared format already has may leave a few equal copies.
    EXPECT_LE(g.Formats().Count(), 1u + 2 * 4 * 2 * 3);
    for (size_t i = 1; i < g.Formats().Count(); ++i)
        EXPECT_GT(g.Formats().At(i).RefCount, 0);
    expectSound(g);
}

TEST(FormatSharing, SetFormatIndexChecksTheIndex) {
    TKelvoGrid g;
    TCellHandle a = g.GetCell(0, 0);
    a.SetFontSize(20);
    TCellHandle b = g.GetCell(1, 1);
    b.SetFormatIndex(1);
    EXPECT_EQ(b.FontSize(), 20);
    EXPECT_EQ(g.Formats().At(1).RefCount, 2);
    EXPECT_THROW(b.SetFormatIndex(2), std::out_of_range);
    EXPECT_THROW(b.SetFormatIndex(-1), std::out_of_range);
    b.Reset();
    EXPECT_EQ(b.FormatIndex(), 0);
    expectSound(g);
}
