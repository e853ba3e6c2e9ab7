#include "resources/Resources.h"

#include "platform/gdiplus/Gdiplus.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace Gdiplus;

namespace
{
constexpr ARGB kKeyGreen = 0xFF00FF00;
constexpr ARGB kDialogKey = 0xFFECE9D8;

std::unique_ptr<Bitmap> Load(const char16_t *type, unsigned id, unsigned short lang = 1033)
{
    const unsigned char *data = nullptr;
    std::size_t size = 0;
    if (!vxres::LookupImage(type, id, lang, &data, &size))
        return nullptr;
    return std::unique_ptr<Bitmap>(Bitmap::FromData(data, size));
}

ARGB Pixel(const Bitmap &b, int x, int y)
{
    Color c;
    EXPECT_EQ(b.GetPixel(x, y, &c), Ok);
    return c.GetValue();
}

struct Expected
{
    const char16_t *type;
    unsigned id;
    unsigned width, height;
};

// Sizes follow the rectangles the controls are placed in (a control without stretch
// takes its image's size).
const Expected kSizes[] = {
    {u"PNG", 472, 85, 23},    {u"PNG", 471, 85, 23},    {u"PNG", 470, 85, 23},   {u"PNG", 464, 85, 23},
    {u"PNG", 463, 85, 23},    {u"PNG", 462, 85, 23},    {u"PNG", 467, 85, 23},   {u"PNG", 466, 85, 23},
    {u"PNG", 465, 85, 23},    {u"PNG", 480, 85, 23},    {u"PNG", 479, 85, 23},   {u"PNG", 478, 85, 23},
    {u"PNG", 493, 117, 30},   {u"PNG", 570, 117, 30},   {u"PNG", 128, 148, 56},  {u"PNG", 129, 148, 56},
    {u"BITMAP", 149, 16, 16}, {u"BITMAP", 150, 16, 16}, {u"BITMAP", 151, 8, 8},  {u"BITMAP", 152, 8, 8},
    {u"PNG", 476, 85, 23},    {u"PNG", 475, 85, 23},    {u"PNG", 474, 85, 23},   {u"PNG", 259, 26, 26},
    {u"PNG", 260, 26, 26},    {u"PNG", 477, 64, 64},    {u"PNG", 118, 200, 130},
    {u"PNG", 153, 128, 56},   {u"PNG", 154, 128, 56},   {u"PNG", 155, 128, 56},
    {u"ICON", 103, 32, 32},
};

const unsigned kKeyedButtons[] = {472, 471, 470, 464, 463, 462, 467, 466, 465, 480, 479, 478,
                                  493, 492, 491, 570, 569, 568, 502, 501, 500, 476, 475, 474};
} // namespace

TEST(ImageTable, EveryImageDecodesAndIsStoredUnder1033Only)
{
    const auto keys = vxres::ImageKeys();
    ASSERT_FALSE(keys.empty());
    for (const vxres::ImageKey &key : keys)
    {
        EXPECT_EQ(key.lang, 1033);
        std::unique_ptr<Bitmap> b = Load(key.type.c_str(), key.id);
        ASSERT_TRUE(b) << key.id;
        EXPECT_EQ(b->GetLastStatus(), Ok) << key.id;
        EXPECT_GT(b->GetWidth(), 0u);
        for (unsigned short other : {1031, 1028, 2052})
            EXPECT_FALSE(Load(key.type.c_str(), key.id, other)) << key.id << " in " << other;
    }
}

TEST(ImageTable, LookupMatchesTypeAndId)
{
    EXPECT_TRUE(Load(u"PNG", 513));
    EXPECT_FALSE(Load(u"BITMAP", 513));
    EXPECT_FALSE(Load(u"png", 513));
    EXPECT_TRUE(Load(u"BITMAP", 149));
    EXPECT_FALSE(Load(u"PNG", 149));
    EXPECT_TRUE(Load(u"ICON", 103));
    EXPECT_FALSE(Load(u"PNG", 103));
    EXPECT_FALSE(Load(u"PNG", 9999));
    const unsigned char *data = reinterpret_cast<const unsigned char *>(1);
    std::size_t size = 7;
    EXPECT_FALSE(vxres::LookupImage(u"PNG", 9999, 1033, &data, &size));
    EXPECT_EQ(size, 7u);
}

TEST(ImageTable, SizesFollowTheControlRectangles)
{
    for (const Expected &e : kSizes)
    {
        std::unique_ptr<Bitmap> b = Load(e.type, e.id);
        ASSERT_TRUE(b) << e.id;
        EXPECT_EQ(b->GetWidth(), e.width) << e.id;
        EXPECT_EQ(b->GetHeight(), e.height) << e.id;
    }
    // The prompt pictures hold every control placed on them.
    std::unique_ptr<Bitmap> message = Load(u"PNG", 513), save = Load(u"PNG", 512), main = Load(u"PNG", 106);
    ASSERT_TRUE(message && save && main);
    EXPECT_GE(message->GetWidth(), 507u);
    EXPECT_GE(message->GetHeight(), 328u);
    EXPECT_GE(save->GetWidth(), 350u);
    EXPECT_GE(save->GetHeight(), 173u);
    // The run detail panel holds its farthest label (470, 86).
    std::unique_ptr<Bitmap> panel = Load(u"PNG", 131);
    ASSERT_TRUE(panel);
    EXPECT_GE(panel->GetWidth(), 470u);
    EXPECT_GE(panel->GetHeight(), 86u);
    // The main dialog's background gives the window its size: as wide as the farthest control any
    // page places on it (the version label's right edge, 720), and as tall as the navigation bar
    // along its bottom edge (the bar ends at y 499; the Device Setting page, resized to its own
    // picture, ends at 440) with the panel's rounded corners below it. The connect-status prompt,
    // which shares it, fits well inside.
    EXPECT_EQ(main->GetWidth(), 720u);
    EXPECT_EQ(main->GetHeight(), 520u);
}

TEST(ImageTable, ButtonFacesUseTheGreenKeyOutsideOnly)
{
    for (unsigned id : kKeyedButtons)
    {
        std::unique_ptr<Bitmap> b = Load(u"PNG", id);
        ASSERT_TRUE(b) << id;
        const int w = int(b->GetWidth()), h = int(b->GetHeight());
        EXPECT_EQ(Pixel(*b, 0, 0), kKeyGreen) << id;
        EXPECT_EQ(Pixel(*b, w - 1, h - 1), kKeyGreen) << id;
        EXPECT_NE(Pixel(*b, w / 2, h / 2), kKeyGreen) << id;
        // Nothing is almost the key: an edge pixel is either the key or clearly not.
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
            {
                const ARGB v = Pixel(*b, x, y);
                if (v == kKeyGreen)
                    continue;
                const int g = int((v >> 8) & 0xFF), r = int((v >> 16) & 0xFF), bl = int(v & 0xFF);
                EXPECT_FALSE(g > 200 && r < 60 && bl < 60) << id << " at " << x << "," << y;
            }
    }
}

TEST(ImageTable, DialogPicturesPaintOutsideInTheDialogKey)
{
    for (unsigned id : {513u, 512u, 106u})
    {
        std::unique_ptr<Bitmap> b = Load(u"PNG", id);
        ASSERT_TRUE(b);
        const int w = int(b->GetWidth()), h = int(b->GetHeight());
        EXPECT_EQ(Pixel(*b, 0, 0), kDialogKey) << id;
        EXPECT_EQ(Pixel(*b, w - 1, 0), kDialogKey) << id;
        EXPECT_EQ(Pixel(*b, 0, h - 1), kDialogKey) << id;
        EXPECT_NE(Pixel(*b, w / 2, h / 2), kDialogKey) << id;
    }
}

// The dialog pictures with a title band: the band carries the white title line (and, on the main
// dialog, the close button and the My Runs totals) and ends before the first row where the
// dialog's owner places body text; from there on, to the panel's bottom edge, the ground is the
// light body, so dark and red texts stay legible.
TEST(ImageTable, TitleBandsEndAboveTheFirstRowOfBodyText)
{
    const struct
    {
        unsigned id;
        int bandFrom, bandTo; // rows the white title stands on
        int bodyFrom;         // first row of body text
    } cases[] = {
        {106, 62, 92, 95}, // title label 35,62-225,92 and close button 64-90; the pages' text from y 97
        {513, 10, 35, 42}, // prompt titles 10-25 and 10-35; their messages from y 60
        {490, 10, 34, 42}, // share picture header 10-34; its rows from y 55
    };
    const auto light = [](ARGB v) {
        return ((v >> 16) & 0xFF) >= 0xD0 && ((v >> 8) & 0xFF) >= 0xD0 && (v & 0xFF) >= 0xD0;
    };
    const auto band = [](ARGB v) { return ((v >> 16) & 0xFF) >= 0xB0 && ((v >> 8) & 0xFF) < 0x80; };
    for (const auto &c : cases)
    {
        std::unique_ptr<Bitmap> b = Load(u"PNG", c.id);
        ASSERT_TRUE(b) << c.id;
        const int w = int(b->GetWidth()), h = int(b->GetHeight());
        for (int x : {30, w / 2, w - 30})
        {
            int notBand = -1, notLight = -1; // the first offending row, if any
            for (int y = c.bandTo - 1; y >= c.bandFrom; --y)
                if (!band(Pixel(*b, x, y)))
                    notBand = y;
            for (int y = h - 3; y >= c.bodyFrom; --y)
                if (!light(Pixel(*b, x, y)))
                    notLight = y;
            EXPECT_EQ(notBand, -1) << c.id << " at x " << x;
            EXPECT_EQ(notLight, -1) << c.id << " at x " << x;
        }
    }
}

TEST(ImageTable, KeyedDrawingLeavesTheCornersUnpainted)
{
    // A button drawn through the green key over a white page: the corners stay white.
    std::unique_ptr<Bitmap> face = Load(u"PNG", 472);
    ASSERT_TRUE(face);
    Bitmap page(85, 23);
    {
        Graphics g(&page);
        g.Clear(Color(0xFFFFFFFF));
        ImageAttributes key;
        key.SetColorKey(Color(0x0000FF00), Color(0x0000FF00));
        ASSERT_EQ(g.DrawImage(face.get(), Rect(0, 0, 85, 23), 0, 0, 85, 23, UnitPixel, &key), Ok);
    }
    EXPECT_EQ(Pixel(page, 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel(page, 42, 11), Pixel(*face, 42, 11));
}

TEST(ImageTable, TheProgramIconHasATransparentGround)
{
    std::unique_ptr<Bitmap> icon = Load(u"ICON", 103);
    ASSERT_TRUE(icon);
    EXPECT_EQ(Pixel(*icon, 0, 0) >> 24, 0u);
    EXPECT_EQ(Pixel(*icon, 31, 31) >> 24, 0u);
    EXPECT_EQ(Pixel(*icon, 16, 16) >> 24, 0xFFu);
}

TEST(ImageTable, CalendarAndChartArrowsPointTheirWay)
{
    // A triangle has most of its ink on its broad side, away from the point it makes.
    for (auto [left, right] : {std::pair{147u, 148u}, std::pair{149u, 150u}, std::pair{151u, 152u}})
    {
        std::unique_ptr<Bitmap> l = Load(u"BITMAP", left), r = Load(u"BITMAP", right);
        ASSERT_TRUE(l && r);
        const int w = int(l->GetWidth()), h = int(l->GetHeight());
        int tipLeft = 0, tipRight = 0; // ink of the left half less ink of the right half
        for (int x = 0; x < w; ++x)
        {
            int inkL = 0, inkR = 0;
            for (int y = 0; y < h; ++y)
            {
                inkL += Pixel(*l, x, y) != 0xFFFFFFFFu;
                inkR += Pixel(*r, x, y) != 0xFFFFFFFFu;
            }
            if (x < w / 2)
                tipLeft += inkL, tipRight += inkR;
            else
                tipLeft -= inkL, tipRight -= inkR;
        }
        EXPECT_LT(tipLeft, 0) << left; // more ink on the right: the point is on the left
        EXPECT_GT(tipRight, 0) << right;
        EXPECT_EQ(Pixel(*l, 0, 0), 0xFFFFFFFFu);
    }
}
