#pragma once
#include <QColor>
#include <QHash>
#include <QPixmap>
#include <QString>

namespace mainwindow {

// The skin's two colours: the surfaces and the highlights.
inline const QColor SkinColor(53, 67, 72);
inline const QColor AccentColor(160, 200, 255);

// The skin image store: every picture of the skinned windows by its name
// ("ImageForm1", "ImageRecord1", "ImageRecord2", "ImageMP3", ...). Pictures
// are compiled in as Qt resources under ":/skin/<name>.svg" or ".png".
class TForm4 {
  public:
    // The named picture. A name with no picture gives a transparent 16 x 16
    // one, so a missing picture never breaks a window.
    const QPixmap& Picture(const QString& name);
    // True when the skin has a picture of this name.
    bool Has(const QString& name) const;
    // Start-up: the Recording Control button takes the microphone pictures.
    void FormCreate();

  private:
    QHash<QString, QPixmap> cache_;
};

// The one store, made on first use.
TForm4& Form4();

} // namespace mainwindow
