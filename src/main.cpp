#include <signal.h>

#include <QApplication>

#include "capture/effects.h"
#include "core/mode.h"
#include "core/settings.h"
#include "core/state.h"
#include "library/filelist.h"
#include "mainwindow/form1.h"
#include "mainwindow/images.h"
#include "mainwindow/look.h"
#include "mainwindow/system.h"
#include "mainwindow/windows.h"
#include "playback/player.h"
#include "tags/tags.h"

int main(int argc, char** argv) {
    // A dying encoder must not take the recorder with it.
    signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    mainwindow::ApplyLook(app);
    QApplication::setApplicationName("Kestrune");
    QApplication::setOrganizationName("Quenlow");
    QApplication::setQuitOnLastWindowClosed(false);
    // The recorder window first: its creation runs the start-up sequence.
    auto* form1 = new mainwindow::TForm1;
    QObject::connect(form1, &QObject::destroyed, &app, &QApplication::quit);
    form1->setAttribute(Qt::WA_DeleteOnClose);
    auto* form2 = new library::TForm2;
    auto* tag = new tags::TFormTag;
    mainwindow::Form4().FormCreate();
    auto* mode = new core::TFormMode(form1);
    auto* player = new playback::TFormPlayer;
    auto* effects = new capture::TFormEffects(form1);
    capture::FormEffects = effects;
    mainwindow::ConnectWindows(form1, form2, tag, mode, player, effects);
    form1->show();
    if (core::Settings.IsFileList) {
        form1->ImageShowHide->SetPictures("ImageHide1", "ImageHide2");
        form1->ImageShowHide->ShowHover();
        core::Session.HoverPending = true;
        form2->move(form1->frameGeometry().left(), form1->frameGeometry().bottom() + 1);
        form2->show();
    }
    int rc = app.exec();
    delete player;
    delete tag;
    delete form2;
    return rc;
}
