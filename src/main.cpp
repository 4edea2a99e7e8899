#include <signal.h>

#include <QApplication>

#include "mainwindow/form1.h"

int main(int argc, char** argv) {
    // A dying encoder must not take the recorder with it.
    signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kestrune");
    QApplication::setOrganizationName("Quenlow");
    QApplication::setQuitOnLastWindowClosed(false);
    auto* form1 = new mainwindow::TForm1;
    QObject::connect(form1, &QObject::destroyed, &app, &QApplication::quit);
    form1->setAttribute(Qt::WA_DeleteOnClose);
    form1->show();
    return app.exec();
}
