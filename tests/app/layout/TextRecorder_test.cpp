// The recorder the layout suite stands on: what it reports for labels whose texts plainly fit, are
// cut or lie under a picture.

#include "tests/app/layout/TextRecorder.h"

#include <gtest/gtest.h>

#include <QImage>
#include <memory>

#include "tests/ui/UiTestSupport.h"
#include "ui/UIStatic.h"

namespace
{
class TextRecorderTest : public testing::Test
{
  protected:
    void SetUp() override { ASSERT_TRUE(host.Make(300, 200)); }
    void TearDown() override
    {
        labels.clear();
        host.DestroyWindow();
        vxtest::ProcessEvents();
    }

    UIStatic *Label(const char16_t *text, const CRect &rect, UINT id, int size = 12)
    {
        auto label = std::make_unique<UIStatic>();
        label->SetFontSize(size);
        label->SetTextColor(0xFF000000);
        EXPECT_TRUE(label->Create(text, rect, &host, id, WS_CHILD | WS_VISIBLE));
        labels.push_back(std::move(label));
        return labels.back().get();
    }

    const layouttest::DrawnLabel *Find(const std::vector<layouttest::DrawnLabel> &texts, unsigned id)
    {
        for (const auto &t : texts)
            if (t.id == id)
                return &t;
        return nullptr;
    }

    uitest::Host host;
    std::vector<std::unique_ptr<UIStatic>> labels;
    layouttest::TextRecorder recorder;
};

TEST_F(TextRecorderTest, ATextThatFitsShowsWholeWhereItsLabelIs)
{
    Label(u"Run", CRect(40, 30, 140, 50), 1101);
    vxtest::ProcessEvents();
    const auto texts = recorder.Paint(host.GetWidget());
    const layouttest::DrawnLabel *run = Find(texts, 1101);
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run->text, QStringLiteral("Run"));
    EXPECT_TRUE(run->visible.contains(run->ink));
    EXPECT_TRUE(QRect(40, 30, 100, 20).contains(run->ink));
    EXPECT_GT(run->ink.width(), 10);
    EXPECT_EQ(run->pixelSize, 12);
    EXPECT_EQ(run->coveredBy, 0u);
}

TEST_F(TextRecorderTest, AWordWiderThanItsLabelIsCutAtTheLabelsEdge)
{
    // One row high: the wrapped rest falls below the label.
    Label(u"Laufen", CRect(40, 30, 60, 45), 1102);
    vxtest::ProcessEvents();
    const auto texts = recorder.Paint(host.GetWidget());
    const layouttest::DrawnLabel *cut = Find(texts, 1102);
    ASSERT_NE(cut, nullptr);
    EXPECT_FALSE(cut->visible.contains(cut->ink));
    EXPECT_EQ(cut->visible, QRect(40, 30, 20, 15));
}

TEST_F(TextRecorderTest, ATextUnderThePictureOfALaterControlIsCovered)
{
    Label(u"Steps by:", CRect(40, 30, 100, 50), 1103);
    UIStatic *picture = Label(u"", CRect(80, 30, 120, 50), 1104);
    QImage block(40, 20, QImage::Format_ARGB32);
    block.fill(QColor(90, 90, 90));
    Gdiplus::Bitmap bitmap(block);
    picture->SetImageCopy(&bitmap, nullptr);
    vxtest::ProcessEvents();
    const auto texts = recorder.Paint(host.GetWidget());
    const layouttest::DrawnLabel *by = Find(texts, 1103);
    ASSERT_NE(by, nullptr);
    EXPECT_TRUE(by->visible.contains(by->ink));
    // From x 40 the caption reaches past x 80, where the picture begins.
    EXPECT_EQ(by->coveredBy, 1104u);
    EXPECT_GE(by->covered.left(), 80);
}
} // namespace
