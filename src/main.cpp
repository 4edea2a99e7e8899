#include <signal.h>

#include <QApplication>

#include "app/program.h"
#include "mainwindow/look.h"

int main(int argc, char** argv) {
    // A dying encoder must not take the recorder with it.
    signal(SIGPIPE, SIG_IGN);
    QApplication app(argc, argv);
    mainwindow::ApplyLook(app);
    QApplication::setApplicationName("Kestrune");
    QApplication::setOrganizationName("Quenlow");
    QApplication::setQuitOnLastWindowClosed(false);
    app::Program program;
    // Closing the recorder window ends the program.
    QObject::connect(&program.Recorder(), &QObject::destroyed, &app, &QApplication::quit);
    program.Show();
    return app.exec();
}
