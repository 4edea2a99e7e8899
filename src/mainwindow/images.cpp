#include "mainwindow/images.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgRenderer>
#include <cmath>

#include "core/state.h"

// The pictures live in a static library, whose resource initialiser the
// linker would drop: register them by hand, once.
static void InitSkinResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(skin);
        return true;
    }();
    (void)done;
}

namespace mainwindow {

namespace {
QString ResourcePath(const QString& name) {
    InitSkinResources();
    for (const char* ext : {".svg", ".png"}) {
        QString p = ":/skin/" + name + ext;
        if (QFile::exists(p)) return p;
    }
    return {};
}
} // namespace

bool TForm4::Has(const QString& name) const {
    // The control button's pictures exist once FormCreate has chosen them.
    if (name == "ImageControl1" || name == "ImageControl2") return cache_.contains(name);
    return !ResourcePath(name).isEmpty();
}

QStringList TForm4::Names() const {
    InitSkinResources();
    QStringList names;
    for (const QString& f : QDir(":/skin").entryList(QDir::Files, QDir::Name)) {
        if (f.endsWith(".svg") || f.endsWith(".png")) names << f.left(f.lastIndexOf('.'));
    }
    names.removeDuplicates();
    return names;
}

void TForm4::SetDevicePixelRatio(qreal ratio) {
    ratio_ = ratio > 0 ? ratio : 1;
    bool hadControl = cache_.contains("ImageControl1");
    cache_.clear();
    if (hadControl) FormCreate();
}

const QPixmap& TForm4::Picture(const QString& name) {
    // The control button's pictures are chosen by FormCreate; a window made
    // before it must not get a blank stand-in.
    if ((name == "ImageControl1" || name == "ImageControl2") && !cache_.contains(name))
        FormCreate();
    auto it = cache_.find(name);
    if (it != cache_.end()) return *it;
    if (ratio_ <= 0) {
        ratio_ = qGuiApp ? qGuiApp->devicePixelRatio() : 1;
        if (ratio_ <= 0) ratio_ = 1;
    }
    QPixmap pm;
    QString path = ResourcePath(name);
    if (path.endsWith(".svg")) {
        QSvgRenderer r(path);
        QSize size = r.defaultSize();
        if (size.isEmpty()) size = QSize(16, 16);
        pm =
            QPixmap(QSize(std::lround(size.width() * ratio_), std::lround(size.height() * ratio_)));
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            r.render(&p);
        }
        pm.setDevicePixelRatio(ratio_);
    } else if (!path.isEmpty()) {
        pm.load(path);
    }
    if (pm.isNull()) {
        pm = QPixmap(16, 16);
        pm.fill(Qt::transparent);
    }
    return *cache_.insert(name, pm);
}

QSize TForm4::Size(const QString& name) {
    return Picture(name).deviceIndependentSize().toSize();
}

void TForm4::FormCreate() {
    // Linux desktops have the device model where the control button opens the
    // input devices: it shows the microphone (the mixer pictures otherwise).
    bool micro = core::Startup.IsVistaOrLater;
    cache_.insert("ImageControl1", Picture(micro ? "ImageMicroOff" : "ImageXP1"));
    cache_.insert("ImageControl2", Picture(micro ? "ImageMicroOn" : "ImageXP2"));
}

TForm4& Form4() {
    static TForm4 store;
    return store;
}

} // namespace mainwindow
