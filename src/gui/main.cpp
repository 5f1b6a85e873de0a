#include "Error.h"
#include "Look.h"
#include "Program.h"
#include "ProgramFolder.h"

#include <QApplication>
#include <QMessageBox>

#include <csignal>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    bm::gui::prepareApplication();
    // A limit on the size of files makes a write fail with an error the command reports, like a
    // full disk, instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);

    // The program folder holds Tembra.db, Defs/ and the scratch folder: the executable's own
    // folder when it holds Defs/, else (installed) the user's data folder, which gets the
    // installed data files and a herd database on first start.
    const bm::ProgramFolder folder
            = bm::locateProgramFolder(QCoreApplication::applicationDirPath());
    if (folder.installed) {
        try {
            bm::seedProgramFolder(folder.home, folder.dataSource);
        } catch (const bm::Error &e) {
            QMessageBox::critical(nullptr, bm::gui::appTitle(), bm::errorBoxText(e.message()));
            return 1;
        }
    }
    bm::gui::Program program(folder.home);
    program.frmMain.showMaximized();
    return app.exec();
}
