#include "Program.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    bm::gui::prepareApplication();

    // The program folder holds Tembra.db, Defs/ and the scratch folder.
    bm::gui::Program program(QDir(QCoreApplication::applicationDirPath()).absolutePath() + u'/');
    program.frmMain.showMaximized();
    return app.exec();
}
