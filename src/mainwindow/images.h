#pragma once
#include <QColor>
#include <QHash>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>

namespace mainwindow {

// The skin's two colours: the surfaces and the highlights.
inline const QColor SkinColor(53, 67, 72);
inline const QColor AccentColor(160, 200, 255);
// Text of our own choosing that sits on the skin's light label plates (the
// recorder's folder row, the player's file row), beside the given dark texts.
inline const QColor PlateTextColor(24, 40, 48);

// The skin image store: every picture of the skinned windows by its name
// ("ImageForm1", "ImageRecord1", "ImageRecord2", "ImageMP3", ...). Pictures
// are compiled in as Qt resources under ":/skin/<name>.svg" or ".png".
// Image lists are stored as "<list>_<index>": "ImageList1_0" .. "ImageList1_4"
// (24 x 24, WAV, MP3, WMA, OGG, FLAC), "ImageListMenu_0" .. "ImageListMenu_5",
// "ImageListFormat_0" / "ImageListFormat_1".
//
// SVG pictures are rendered at the application's device pixel ratio, so on a
// 200 % screen a pixmap holds twice the pixels: its size in window units is
// deviceIndependentSize() (or Size() below), not size().
class TForm4 {
  public:
    // The named picture. A name with no picture gives a transparent 16 x 16
    // one, so a missing picture never breaks a window.
    const QPixmap& Picture(const QString& name);
    // True when the skin has a picture of this name.
    bool Has(const QString& name) const;
    // The picture's size in window units.
    QSize Size(const QString& name);
    // Every picture name of the skin, sorted.
    QStringList Names() const;
    // Start-up: the Recording Control button takes the microphone pictures.
    void FormCreate();
    // Renders pictures at this ratio from now on (the default is the
    // application's ratio at first use); drops what was rendered before.
    void SetDevicePixelRatio(qreal ratio);
    qreal DevicePixelRatio() const { return ratio_; }

  private:
    QHash<QString, QPixmap> cache_;
    qreal ratio_ = 0; // 0: not chosen yet
};

// The one store, made on first use.
TForm4& Form4();

} // namespace mainwindow
