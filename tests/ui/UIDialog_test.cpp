#include <QWidget>
#include <gtest/gtest.h>

#include "tests/ui/UiTestSupport.h"
#include "ui/UIDialog.h"
#include "ui/UIStatic.h"

using uitest::ModalHook;

namespace
{
// A dialog with a picture and a label, as the program's prompts are built.
class PictureDialog : public UIDialog
{
  public:
    explicit PictureDialog(UINT picture = 512) : UIDialog(0, nullptr), m_picture(picture) {}
    UIStatic label;
    BOOL pictureResult = -1;
    DWORD styleBefore = 0;

  protected:
    BOOL OnInitDialog() override
    {
        UIDialog::OnInitDialog();
        styleBefore = GetStyle();
        pictureResult = SetBackgroundImage(m_picture, 1033);
        label.SetTextColor(0xFF383431);
        label.SetFontStyle(1);
        label.Create(u"Drag me", CRect(40, 60, 200, 90), this, 1190, WS_CHILD | WS_VISIBLE);
        return TRUE;
    }

  private:
    UINT m_picture;
};

std::unique_ptr<Gdiplus::Image> Picture(UINT id)
{
    struct Loader : UIFactory
    {
        void Draw(CDC *) override {}
    } loader;
    Gdiplus::Image *image = nullptr;
    if (!loader.LoadImageFromResource(id, u"PNG", &image, 1033))
        return nullptr;
    return std::unique_ptr<Gdiplus::Image>(image);
}

TEST(UIDialogTest, APictureMakesTheDialogBorderlessAtItsSizeWithTheKeyTransparent)
{
    auto picture = Picture(512);
    ASSERT_TRUE(picture);
    const QImage pixels = picture->QtImage().convertToFormat(QImage::Format_ARGB32);
    // The picture's corner is the dialog key colour, its middle is not.
    ASSERT_EQ(QColor(pixels.pixel(0, 0)), QColor(0xEC, 0xE9, 0xD8));
    const int cx = pixels.width() / 2, cy = 150;
    ASSERT_NE(QColor(pixels.pixel(cx, cy)), QColor(0xEC, 0xE9, 0xD8));

    PictureDialog dlg;
    QImage image;
    Qt::WindowFlags flags;
    QSize size;
    ModalHook hook([&](CDialog &d) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(d.GetWidget()));
        flags = d.GetWidget()->windowFlags();
        size = d.GetWidget()->size();
        image = vxtest::GrabWidget(d.GetWidget());
        d.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.pictureResult, TRUE);
    EXPECT_TRUE(dlg.styleBefore & WS_CAPTION);
    EXPECT_TRUE(flags & Qt::FramelessWindowHint);
    EXPECT_EQ(size, pixels.size());
    ASSERT_EQ(image.size(), pixels.size());
    EXPECT_EQ(vxtest::PixelAt(image, 0, 0).alpha(), 0);
    EXPECT_EQ(vxtest::PixelAt(image, image.width() - 1, image.height() - 1).alpha(), 0);
    EXPECT_EQ(vxtest::PixelAt(image, cx, cy), QColor(pixels.pixel(cx, cy)));
    // The label's caption is drawn over the picture.
    EXPECT_GT(uitest::CountOther(image, QRect(40, 60, 160, 30), QColor(pixels.pixel(100, 75))), 20);
}

TEST(UIDialogTest, AMissingPictureLeavesTheDialogFramed)
{
    PictureDialog dlg(9999);
    Qt::WindowFlags flags;
    DWORD style = 0, exStyle = 0;
    ModalHook hook([&](CDialog &d) {
        flags = d.GetWidget()->windowFlags();
        style = d.GetStyle();
        exStyle = d.GetExStyle();
        d.EndDialog(IDOK);
    });
    dlg.DoModal();
    EXPECT_EQ(dlg.pictureResult, FALSE);
    EXPECT_FALSE(flags & Qt::FramelessWindowHint);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_EQ(exStyle & WS_EX_LAYERED, 0u);
    EXPECT_EQ(dlg.GetBackgroundImage(), nullptr);
}

TEST(UIDialogTest, ALaterPictureResizesWithoutTouchingTheStylesAgainAndAFailureKeepsTheOld)
{
    PictureDialog dlg;
    QSize second;
    DWORD exStyle = 0;
    BOOL missing = -1;
    ModalHook hook([&](CDialog &d) {
        auto &u = static_cast<UIDialog &>(d);
        // A style set by the program after the first picture survives the second.
        u.ModifyStyleEx(0, WS_EX_TOPMOST);
        EXPECT_TRUE(u.SetBackgroundImage(513, 1033));
        second = d.GetWidget()->size();
        exStyle = d.GetExStyle();
        Gdiplus::Image *before = u.GetBackgroundImage();
        missing = u.SetBackgroundImage(9999, 1033);
        EXPECT_EQ(u.GetBackgroundImage(), before);
        d.EndDialog(IDOK);
    });
    dlg.DoModal();
    EXPECT_EQ(second, QSize(530, 350));
    EXPECT_EQ(exStyle, WS_EX_LAYERED | WS_EX_TOPMOST);
    EXPECT_EQ(missing, FALSE);
}

TEST(UIDialogTest, ThePictureGoesToThePositionOrStaysOnScreen)
{
    {
        PictureDialog dlg;
        dlg.m_rcPosition = CRect(30, 40, -1, -1);
        QPoint pos;
        ModalHook hook([&](CDialog &d) {
            pos = d.GetWidget()->pos();
            d.EndDialog(IDOK);
        });
        dlg.DoModal();
        EXPECT_EQ(pos, QPoint(30, 40));
    }
    {
        // A window partly left of the screen's origin goes to (0, 0).
        class OffScreen : public PictureDialog
        {
          protected:
            BOOL OnInitDialog() override
            {
                MoveWindow(-50, 20, 100, 100);
                return PictureDialog::OnInitDialog();
            }
        } dlg;
        QPoint pos;
        ModalHook hook([&](CDialog &d) {
            pos = d.GetWidget()->pos();
            d.EndDialog(IDOK);
        });
        dlg.DoModal();
        EXPECT_EQ(pos, QPoint(0, 0));
    }
}

TEST(UIDialogTest, DraggingALabelMovesTheDialog)
{
    PictureDialog dlg;
    QPoint before, after;
    ModalHook hook([&](CDialog &d) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(d.GetWidget()));
        QWidget *label = dlg.label.GetWidget();
        before = d.GetWidget()->pos();
        QTest::mousePress(label, Qt::LeftButton, {}, QPoint(5, 5));
        vxtest::ProcessEvents(); // the posted caption press starts the move
        QTest::mouseMove(label, QPoint(35, 25));
        QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(35, 25));
        after = d.GetWidget()->pos();
        d.EndDialog(IDOK);
    });
    dlg.DoModal();
    EXPECT_EQ(after - before, QPoint(30, 20));
}

TEST(UIDialogTest, TheDialogBrushIsTheBackgroundColour)
{
    PictureDialog dlg;
    HBRUSH dialogBrush = nullptr, otherBrush = nullptr;
    ModalHook hook([&](CDialog &d) {
        dialogBrush = reinterpret_cast<HBRUSH>(
            d.SendMessage(WM_CTLCOLORDLG, 0, reinterpret_cast<LPARAM>(d.GetSafeHwnd())));
        otherBrush = reinterpret_cast<HBRUSH>(d.SendMessage(WM_CTLCOLORSTATIC, 0, 0));
        d.EndDialog(IDOK);
    });
    dlg.DoModal();
    COLORREF color{};
    ASSERT_TRUE(vxwin::GetBrushColor(dialogBrush, &color));
    EXPECT_EQ(color, RGB(0xD8, 0xE9, 0xEC));
    EXPECT_EQ(otherBrush, nullptr);
}

TEST(UIDialogTest, WithoutTheColourKeyThePictureIsDrawnAsItIs)
{
    class Plain : public PictureDialog
    {
      public:
        Plain() { m_bColorKey = FALSE; }
    } dlg;
    QImage image;
    ModalHook hook([&](CDialog &d) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(d.GetWidget()));
        image = vxtest::GrabWidget(d.GetWidget());
        d.EndDialog(IDOK);
    });
    dlg.DoModal();
    // The picture's key-coloured corner is drawn, and the layered key (the other reading of
    // the number) does not match it.
    EXPECT_EQ(vxtest::PixelAt(image, 0, 0), QColor(0xEC, 0xE9, 0xD8));
}

TEST(UIDialogTest, TheEncoderIsFoundByItsExactMimeType)
{
    Gdiplus::CLSID clsid;
    const int index = UIFactory::GetEncoderClsid(u"image/jpeg", &clsid);
    ASSERT_GE(index, 0);
    Gdiplus::UINT count = 0, size = 0;
    ASSERT_EQ(Gdiplus::GetImageEncodersSize(&count, &size), Gdiplus::Ok);
    std::vector<Gdiplus::ImageCodecInfo> encoders(count);
    ASSERT_EQ(Gdiplus::GetImageEncoders(count, size, encoders.data()), Gdiplus::Ok);
    EXPECT_EQ(std::u16string(encoders[index].MimeType), u"image/jpeg");
    EXPECT_EQ(encoders[index].Clsid, clsid);

    Gdiplus::CLSID untouched;
    EXPECT_EQ(UIFactory::GetEncoderClsid(u"image/JPEG", &untouched), -1);
    EXPECT_EQ(untouched, Gdiplus::CLSID{});
    EXPECT_EQ(UIFactory::GetEncoderClsid(u"image/jpe", &untouched), -1);
    EXPECT_GE(UIFactory::GetEncoderClsid(u"image/png", &untouched), 0);
}

TEST(UIDialogTest, ResourcePicturesLoadInTheirLanguageOnly)
{
    struct Loader : UIFactory
    {
        void Draw(CDC *) override {}
    } loader;
    Gdiplus::Image *image = nullptr;
    EXPECT_FALSE(loader.LoadImageFromResource(512, u"PNG", &image, 1031));
    EXPECT_EQ(image, nullptr);
    EXPECT_FALSE(loader.LoadImageFromResource(512, u"BITMAP", &image, 1033));
    ASSERT_TRUE(loader.LoadImageFromResource(147, u"BITMAP", &image, 1033));
    std::unique_ptr<Gdiplus::Image> owned(image);
    EXPECT_EQ(owned->GetWidth(), 20u);
    EXPECT_EQ(owned->GetLastStatus(), Gdiplus::Ok);
}
} // namespace
