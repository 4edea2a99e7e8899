#include "mainwindow/about.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFont>
#include <QMouseEvent>
#include <QScreen>
#include <QShowEvent>
#include <cmath>

#include "mainwindow/images.h"

namespace mainwindow {

TFormAbout::TFormAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint) {
    setWindowTitle("About Kestrune");
    setFixedSize(SizeForScreen(96, 1));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(228, 233, 231));
    // Dark text on the box's light surface, whatever the application's look.
    for (auto group : {QPalette::Active, QPalette::Inactive})
        pal.setColor(group, QPalette::WindowText, QColor(32, 32, 32));
    setPalette(pal);
    setAutoFillBackground(true);

    ImageAbout = new QLabel(this);
    ImageAbout->setPixmap(Form4().Picture("ImageAbout"));
    ImageAbout->setGeometry(24, 24, 64, 64);

    QFont title("Liberation Sans");
    title.setPixelSize(21);
    title.setBold(true);
    auto heading = [&](QColor colour, QPoint at) {
        auto* l = new QLabel("Kestrune 6.2", this);
        l->setFont(title);
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, colour);
        l->setPalette(p);
        l->adjustSize();
        l->move(at);
        return l;
    };
    // The shadow first, so the title lies over it.
    Lab1 = heading(QColor(160, 160, 160), QPoint(121, 35));
    Lab1->setObjectName("Lab1");
    Lab2 = heading(QColor(32, 48, 112), QPoint(120, 34));
    Lab2->setObjectName("Lab2");

    auto* line = new QLabel("Sound recorder", this);
    line->move(121, 68);

    LabWWW = new QLabel(QUrl(QString::fromLatin1(kMakerWebAddress))
                            .toDisplayString(QUrl::RemoveScheme | QUrl::StripTrailingSlash)
                            .mid(2),
                        this);
    QFont link = LabWWW->font();
    link.setUnderline(true);
    LabWWW->setFont(link);
    QPalette lp = LabWWW->palette();
    lp.setColor(QPalette::WindowText, QColor(0, 0, 128));
    LabWWW->setPalette(lp);
    LabWWW->setCursor(Qt::PointingHandCursor);
    LabWWW->adjustSize();
    LabWWW->move(121, 110);
    LabWWW->installEventFilter(this);

    BitBtnClose = new QPushButton("OK", this);
    BitBtnClose->setGeometry(143, 160, 75, 25);
    BitBtnClose->setDefault(true);
    connect(BitBtnClose, &QPushButton::clicked, this, &QDialog::accept);

    openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

QSize TFormAbout::SizeForScreen(qreal logicalDpi, qreal ratio) {
    if (ratio <= 0) ratio = 1;
    if (std::lround(logicalDpi * ratio) != 120) return QSize(361, 202);
    return QSize(std::lround(430 / ratio), std::lround(320 / ratio));
}

void TFormAbout::FitToScreen(qreal logicalDpi, qreal ratio) {
    const QSize size = SizeForScreen(logicalDpi, ratio);
    if (size == this->size()) return;
    const int bottomMargin = height() - BitBtnClose->geometry().bottom();
    setFixedSize(size);
    BitBtnClose->move((size.width() - BitBtnClose->width()) / 2,
                      size.height() - bottomMargin - BitBtnClose->height() + 1);
}

void TFormAbout::showEvent(QShowEvent* e) {
    if (QScreen* s = screen()) FitToScreen(s->logicalDotsPerInch(), s->devicePixelRatio());
    QDialog::showEvent(e);
}

bool TFormAbout::eventFilter(QObject* watched, QEvent* e) {
    if (watched == LabWWW && e->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        // The box goes first, then the page opens; a page that cannot open says nothing.
        accept();
        if (openUrl) openUrl(QUrl(QString::fromLatin1(kMakerWebAddress)));
        return true;
    }
    return QDialog::eventFilter(watched, e);
}

void ShowAbout(QWidget* main) {
    TFormAbout box(main);
    // The size first, so the box is centred as it will be shown.
    if (QScreen* s = main ? main->screen() : box.screen())
        box.FitToScreen(s->logicalDotsPerInch(), s->devicePixelRatio());
    if (main) {
        QRect m = main->frameGeometry();
        box.move(m.center() - QPoint(box.width() / 2, box.height() / 2));
    }
    box.exec();
}

} // namespace mainwindow
