// The skin's hit rectangles in the order the commands test them, the hand cursor, and the
// progress bar's values and fill width.
#include <gtest/gtest.h>

#include "app/skin_layout.h"
#include "app/skin_progress.h"

namespace {

struct HitCase {
    const char* name;
    int x, y;
    SkinButton button;
    bool hand;
};

TEST(SkinLayoutTest, ButtonUnderThePoint) {
    const HitCase cases[] = {
        {"close, top left corner", 755, 109, SkinButton::kClose, false},
        {"close, last pixel", 780, 134, SkinButton::kClose, false},
        {"right of close (right edge is outside)", 781, 120, SkinButton::kNone, false},
        {"below close (bottom edge is outside)", 770, 135, SkinButton::kNone, false},
        {"minimise", 735, 120, SkinButton::kMinimise, false},
        {"between minimise and close", 750, 120, SkinButton::kNone, false},
        {"website", 300, 530, SkinButton::kWebsite, true},
        {"gap between website and offline package", 379, 530, SkinButton::kNone, false},
        {"offline package", 380, 515, SkinButton::kOfflinePackage, true},
        {"edition switch", 600, 542, SkinButton::kEditionSwitch, true},
        {"column shared by edition switch and start: edition first", 680, 520, SkinButton::kEditionSwitch, true},
        {"start above the edition switch", 680, 500, SkinButton::kStart, true},
        {"start, last pixel", 799, 598, SkinButton::kStart, true},
        {"start, bottom row is outside", 750, 599, SkinButton::kNone, false},
        {"web page area", 400, 300, SkinButton::kNone, false},
        {"progress bar", 300, 485, SkinButton::kNone, false},
        {"outside the client area", -1, -1, SkinButton::kNone, false},
    };
    for (const HitCase& c : cases) {
        EXPECT_EQ(ButtonAt(c.x, c.y), c.button) << c.name;
        EXPECT_EQ(ShowsHandCursor(c.x, c.y), c.hand) << c.name;
    }
}

TEST(SkinLayoutTest, ImagesFillTheirHitRectangles) {
    // The refresh draws each hover button's image exactly over the rectangle it tests.
    for (const SkinHoverButton& b : kHoverButtons) {
        EXPECT_EQ(b.place.x, b.hit.left);
        EXPECT_EQ(b.place.y, b.hit.top);
        EXPECT_EQ(b.place.width, b.hit.width());
        EXPECT_EQ(b.place.height, b.hit.height());
        EXPECT_EQ(b.hoverImage + 1, b.normalImage) << "hover and normal images are neighbours";
    }
}

struct FillCase {
    const char* name;
    uint32_t total;
    uint32_t position;
    int width;
};

TEST(SkinProgressTest, FillWidth) {
    const FillCase cases[] = {
        {"half", 100, 50, 223},
        {"a third is truncated", 3, 1, 148},
        {"full", 100, 100, kBarWidth},
        {"empty", 100, 0, 0},
        {"no total", 0, 0, 0},
        {"totals beyond 2^31", 4000000000u, 2000000000u, 223},
        {"one byte short of a full large total", 4294967295u, 4294967294u, kBarWidth - 1},
    };
    for (const FillCase& c : cases) {
        CSkinProgress bar;
        bar.Init(c.position, c.total, kBarCounting);
        EXPECT_EQ(bar.FillWidth(kBarWidth), c.width) << c.name;
    }
}

TEST(SkinProgressTest, PositionNeverAboveTotal) {
    CSkinProgress bar;
    bar.Init(0, 100, kBarIdle);
    bar.SetPosition(150);
    EXPECT_EQ(bar.position(), 100u);
    bar.SetPosition(80);
    bar.SetTotal(200);
    EXPECT_EQ(bar.position(), 80u) << "a larger total keeps the position";
    bar.SetTotal(30);
    EXPECT_EQ(bar.position(), 30u) << "a smaller total pulls the position down";
    EXPECT_TRUE(bar.full());
    bar.SetTotal(0);
    EXPECT_EQ(bar.position(), 0u);
}

struct AttachCase {
    const char* name;
    bool image;
    int depth;
    bool accepted;
};

TEST(SkinProgressTest, FillImageNeedsSixteenOrThirtyTwoBits) {
    const int bitmap = 0;
    const AttachCase cases[] = {
        {"16 bits", true, 16, true},     {"32 bits", true, 32, true},   {"24 bits", true, 24, false},
        {"8 bits", true, 8, false},      {"no image", false, 32, false},
    };
    for (const AttachCase& c : cases) {
        CSkinProgress bar;
        const void* image = c.image ? &bitmap : nullptr;
        EXPECT_EQ(bar.AttachFillImage(image, c.depth), c.accepted) << c.name;
        EXPECT_EQ(bar.fillImage(), c.accepted ? image : nullptr) << c.name;
    }
}

}  // namespace
