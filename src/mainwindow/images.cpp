#include "mainwindow/images.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>

namespace mainwindow {

namespace {
QString ResourcePath(const QString& name) {
    for (const char* ext : {".svg", ".png"}) {
        QString p = ":/skin/" + name + ext;
        if (QFile::exists(p)) return p;
    }
    return {};
}
} // namespace

bool TForm4::Has(const QString& name) const { return !ResourcePath(name).isEmpty(); }

const QPixmap& TForm4::Picture(const QString& name) {
    auto it = cache_.find(name);
    if (it != cache_.end()) return *it;
    QPixmap pm;
    QString path = ResourcePath(name);
    if (path.endsWith(".svg")) {
        QSvgRenderer r(path);
        QSize size = r.defaultSize();
        pm = QPixmap(size.isEmpty() ? QSize(16, 16) : size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        r.render(&p);
    } else if (!path.isEmpty()) {
        pm.load(path);
    }
    if (pm.isNull()) {
        pm = QPixmap(16, 16);
        pm.fill(Qt::transparent);
    }
    return *cache_.insert(name, pm);
}

void TForm4::FormCreate() {
    // Linux desktops have the device model where the control button opens the
    // input devices: it shows the microphone.
    cache_.insert("ImageControl1", Picture("ImageMicroOff"));
    cache_.insert("ImageControl2", Picture("ImageMicroOn"));
}

TForm4& Form4() {
    static TForm4 store;
    return store;
}

} // namespace mainwindow
