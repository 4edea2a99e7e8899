#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include "core/state.h"
#include "mainwindow/about.h"
#include "mainwindow/hint.h"
#include "mainwindow/images.h"

using mainwindow::Form4;

namespace {

struct Expected {
    const char* name;
    int w, h;
};

// Every picture the windows ask for, with the size their layout relies on.
const Expected kPictures[] = {
    {"ImageForm1", 400, 300},      {"ImageFileList", 399, 299},   {"ImagePlayer", 333, 270},
    {"ImageFormTag", 249, 299},    {"ImageFolder1", 19, 19},      {"ImageFolder2", 19, 19},
    {"ImageSetting1", 19, 19},     {"ImageSetting2", 19, 19},     {"ImageHelp1", 19, 19},
    {"ImageHelp2", 19, 19},        {"ImageInfo1", 19, 19},        {"ImageInfo2", 19, 19},
    {"ImageMin1", 19, 19},         {"ImageMin2", 19, 19},         {"ImageClose1", 19, 19},
    {"ImageClose2", 19, 19},       {"ImageMicroOff", 27, 27},     {"ImageMicroOn", 27, 27},
    {"ImageXP1", 27, 27},          {"ImageXP2", 27, 27},          {"ImageRecord1", 28, 28},
    {"ImageRecord2", 28, 28},      {"ImagePause1", 28, 28},       {"ImagePause2", 28, 28},
    {"ImageStop1", 28, 28},        {"ImageStop2", 28, 28},        {"ImagePlay1", 28, 28},
    {"ImagePlay2", 28, 28},        {"ImageShow1", 28, 28},        {"ImageShow2", 28, 28},
    {"ImageHide1", 28, 28},        {"ImageHide2", 28, 28},        {"ImageTag1", 27, 27},
    {"ImageTag2", 27, 27},         {"ImageSave1", 27, 27},        {"ImageSave2", 27, 27},
    {"ImageCloseP1", 27, 27},      {"ImageCloseP2", 27, 27},      {"ImageHandle1", 11, 21},
    {"ImageHandle2", 11, 21},      {"ImageThresh", 7, 32},        {"ImagePath", 16, 16},
    {"ImageMP3", 16, 16},          {"ImageWav", 16, 16},          {"ImageOgg", 16, 16},
    {"ImageWMA", 16, 16},          {"ImageFlac", 16, 16},         {"ImageList1_0", 24, 24},
    {"ImageList1_1", 24, 24},      {"ImageList1_2", 24, 24},      {"ImageList1_3", 24, 24},
    {"ImageList1_4", 24, 24},      {"ImageProp", 16, 16},         {"ImageUp", 16, 16},
    {"ImageDown", 16, 16},         {"ImageListMenu_0", 16, 16},   {"ImageListMenu_5", 16, 16},
    {"ImageListFormat_0", 16, 16}, {"ImageListFormat_1", 16, 16}, {"ImageAbout", 64, 64},
    {"ImageDo", 86, 42},
};

// Mean brightness of the picture's opaque pixels.
double Brightness(const QPixmap& pm) {
    QImage im = pm.toImage().convertToFormat(QImage::Format_ARGB32);
    double sum = 0, n = 0;
    for (int y = 0; y < im.height(); ++y)
        for (int x = 0; x < im.width(); ++x) {
            QColor c = im.pixelColor(x, y);
            if (c.alpha() < 128) continue;
            sum += c.redF() + c.greenF() + c.blueF();
            n += 1;
        }
    return n ? sum / n : 0;
}

} // namespace

TEST(Skin, EveryPictureExistsAtItsSize) {
    for (const Expected& e : kPictures) {
        SCOPED_TRACE(e.name);
        ASSERT_TRUE(Form4().Has(e.name));
        EXPECT_EQ(Form4().Size(e.name), QSize(e.w, e.h));
    }
}

TEST(Skin, MissingPictureIsTransparentPlaceholder) {
    EXPECT_FALSE(Form4().Has("ImageNoSuchThing"));
    QImage im = Form4().Picture("ImageNoSuchThing").toImage();
    EXPECT_EQ(Form4().Size("ImageNoSuchThing"), QSize(16, 16));
    EXPECT_EQ(qAlpha(im.pixel(8, 8)), 0);
    // Asking for it must not make it exist.
    EXPECT_FALSE(Form4().Has("ImageNoSuchThing"));
}

TEST(Skin, HoverPicturesAreBrighter) {
    for (const char* base :
         {"ImageFolder", "ImageSetting", "ImageHelp", "ImageInfo", "ImageMin", "ImageClose",
          "ImageRecord", "ImagePause", "ImageStop", "ImagePlay", "ImageShow", "ImageHide",
          "ImageTag", "ImageSave", "ImageCloseP", "ImageHandle", "ImageXP"}) {
        SCOPED_TRACE(base);
        QString b(base);
        EXPECT_GT(Brightness(Form4().Picture(b + "2")),
                  Brightness(Form4().Picture(b + "1")) + 0.05);
    }
    EXPECT_GT(Brightness(Form4().Picture("ImageMicroOn")),
              Brightness(Form4().Picture("ImageMicroOff")) + 0.05);
}

// The file list draws its 24 x 24 pictures at (left + 1, top - 3) in rows 17
// high, before names that start after eight blanks: each picture must lie
// inside its own row, clear of the rows above and below and of the name.
TEST(Skin, ListPicturesSitInsideTheirRow) {
    for (int i = 0; i < 5; ++i) {
        const QString name = QString("ImageList1_%1").arg(i);
        SCOPED_TRACE(name.toStdString());
        const QImage im = Form4().Picture(name).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(im.size(), QSize(24, 24));
        QRect drawn; // opaque part, in cell coordinates
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x)
                if (qAlpha(im.pixel(x, y)) > 24) drawn |= QRect(x + 1, y - 3, 1, 1);
        ASSERT_FALSE(drawn.isEmpty());
        EXPECT_GE(drawn.top(), 1);
        EXPECT_LE(drawn.bottom(), 15);
        EXPECT_GE(drawn.height(), 12) << "still large enough to tell apart";
        EXPECT_LE(drawn.right(), 18) << "a gap before the name";
    }
}

TEST(Skin, ControlButtonPicturesFollowTheDeviceModel) {
    struct Case {
        bool vista;
        const char *normal, *hover;
    } cases[] = {{false, "ImageXP1", "ImageXP2"}, {true, "ImageMicroOff", "ImageMicroOn"}};
    for (const Case& c : cases) {
        core::Startup.IsVistaOrLater = c.vista;
        Form4().FormCreate();
        ASSERT_TRUE(Form4().Has("ImageControl1"));
        EXPECT_EQ(Form4().Picture("ImageControl1").toImage(), Form4().Picture(c.normal).toImage());
        EXPECT_EQ(Form4().Picture("ImageControl2").toImage(), Form4().Picture(c.hover).toImage());
    }
}

TEST(Skin, RendersAtDoubleRatioWithTheSameWindowSize) {
    Form4().FormCreate();
    Form4().SetDevicePixelRatio(2);
    const QPixmap& pm = Form4().Picture("ImageRecord1");
    EXPECT_EQ(pm.size(), QSize(56, 56));
    EXPECT_EQ(Form4().Size("ImageRecord1"), QSize(28, 28));
    // The control pictures survive the change of ratio.
    EXPECT_EQ(Form4().Size("ImageControl1"), QSize(27, 27));
    Form4().SetDevicePixelRatio(1);
    EXPECT_EQ(Form4().Picture("ImageRecord1").size(), QSize(28, 28));
}

// Not a check: a contact sheet of every picture at 100 % and 200 % for people
// to look at, under the build folder's screenshots.
TEST(Skin, ContactSheet) {
    QStringList names = Form4().Names();
    ASSERT_FALSE(names.isEmpty());
    for (qreal ratio : {1.0, 2.0}) {
        Form4().SetDevicePixelRatio(ratio);
        // Pictures flow left to right in rows of 1300 units, each under its name.
        const int width = 1300;
        QList<QPoint> places;
        int x = 8, y = 8, rowH = 0;
        for (const QString& n : names) {
            QSize s = Form4().Size(n).expandedTo(QSize(110, 0));
            if (x + s.width() > width) {
                x = 8;
                y += rowH + 24;
                rowH = 0;
            }
            places << QPoint(x, y);
            x += s.width() + 12;
            rowH = std::max(rowH, s.height());
        }
        QImage sheet(QSize(width, y + rowH + 32) * ratio, QImage::Format_RGB32);
        sheet.setDevicePixelRatio(ratio);
        sheet.fill(QColor(96, 96, 96));
        QPainter p(&sheet);
        p.setFont(QFont("Liberation Sans", 8));
        p.setPen(Qt::white);
        for (int i = 0; i < names.size(); ++i) {
            p.drawText(places[i] + QPoint(0, 10), names[i]);
            p.drawPixmap(places[i] + QPoint(0, 14), Form4().Picture(names[i]));
        }
        p.end();
        QDir().mkpath(KESTRUNE_BUILD_DIR "/screenshots");
        EXPECT_TRUE(sheet.save(QString(KESTRUNE_BUILD_DIR "/screenshots/skin_%1x.png").arg(ratio)));
    }
    Form4().SetDevicePixelRatio(1);
}

TEST(HintWindow, OneLabelOnTopWithoutBorder) {
    mainwindow::TFormHint hint;
    EXPECT_EQ(hint.size(), QSize(137, 26));
    EXPECT_EQ(hint.LabHint->text(), "Hint Text");
    Qt::WindowFlags f = hint.windowFlags();
    EXPECT_TRUE(f & Qt::FramelessWindowHint);
    EXPECT_TRUE(f & Qt::WindowStaysOnTopHint);

    hint.ShowAt(QPoint(300, 250), "Threshold Level -  50.0%");
    EXPECT_TRUE(hint.isVisible());
    EXPECT_EQ(hint.Text(), "Threshold Level -  50.0%");
    EXPECT_EQ(hint.pos(), QPoint(300, 250));
    // A text longer than the window widens it instead of being cut.
    hint.SetText("Playback Position - 00:00:00 and a good deal more text");
    EXPECT_GE(hint.width(), hint.LabHint->width());
    hint.close();
    EXPECT_FALSE(hint.isVisible());
}

TEST(AboutBox, TitlePictureAndLink) {
    mainwindow::TFormAbout box;
    EXPECT_EQ(box.windowTitle(), "About Kestrune");
    EXPECT_EQ(box.size(), QSize(361, 202));
    EXPECT_EQ(box.Lab2->text(), "Kestrune 6.2");
    EXPECT_EQ(box.Lab1->text(), "Kestrune 6.2");
    EXPECT_EQ(box.Lab1->pos(), box.Lab2->pos() + QPoint(1, 1));
    EXPECT_EQ(box.ImageAbout->pixmap().deviceIndependentSize().toSize(), QSize(64, 64));
    EXPECT_EQ(box.BitBtnClose->text(), "OK");
    EXPECT_EQ(box.LabWWW->cursor().shape(), Qt::PointingHandCursor);

    QUrl opened;
    bool visibleWhenOpened = true;
    box.openUrl = [&](const QUrl& u) {
        opened = u;
        visibleWhenOpened = box.isVisible();
    };
    box.show();
    QPointF c = QRectF(box.LabWWW->rect()).center();
    QPointF g = box.LabWWW->mapToGlobal(c);
    QMouseEvent press(QEvent::MouseButtonPress, c, g, Qt::LeftButton, Qt::LeftButton, {});
    QMouseEvent release(QEvent::MouseButtonRelease, c, g, Qt::LeftButton, Qt::NoButton, {});
    QApplication::sendEvent(box.LabWWW, &press);
    QApplication::sendEvent(box.LabWWW, &release);
    EXPECT_EQ(opened, QUrl(mainwindow::kMakerWebAddress));
    EXPECT_FALSE(visibleWhenOpened); // closed first, then the page opens
    EXPECT_EQ(box.result(), QDialog::Accepted);

    box.show();
    box.BitBtnClose->click();
    EXPECT_FALSE(box.isVisible());
}

TEST(AboutBox, LargerOnA120DpiScreen) {
    struct Case {
        qreal dpi, ratio;
        QSize size; // in window units
    } cases[] = {
        {96, 1, {361, 202}},  {120, 1, {430, 320}},  {119.6, 1, {430, 320}}, {96, 1.25, {344, 256}},
        {144, 1, {361, 202}}, {96, 1.5, {361, 202}}, {96, 2, {361, 202}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.dpi << " dpi at " << c.ratio);
        EXPECT_EQ(mainwindow::TFormAbout::SizeForScreen(c.dpi, c.ratio), c.size);
        mainwindow::TFormAbout box;
        box.FitToScreen(c.dpi, c.ratio);
        EXPECT_EQ(box.size(), c.size);
        // OK stays at the bottom centre, wholly inside.
        const QRect ok = box.BitBtnClose->geometry();
        EXPECT_TRUE(box.rect().contains(ok));
        EXPECT_NEAR(ok.center().x(), box.width() / 2, 1);
        EXPECT_EQ(box.height() - ok.bottom(), 202 - 184);
    }
    mainwindow::TFormAbout box;
    box.FitToScreen(120, 1);
    QDir().mkpath(KESTRUNE_BUILD_DIR "/screenshots");
    EXPECT_TRUE(box.grab().save(KESTRUNE_BUILD_DIR "/screenshots/about_120dpi.png"));
}

// Not a check: the About box as people see it.
TEST(AboutBox, Screenshot) {
    mainwindow::TFormAbout box;
    QDir().mkpath(KESTRUNE_BUILD_DIR "/screenshots");
    EXPECT_TRUE(box.grab().save(KESTRUNE_BUILD_DIR "/screenshots/about.png"));
}
