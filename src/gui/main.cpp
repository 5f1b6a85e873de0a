#include "GuiPrompter.h"
#include "Look.h"
#include "Tdm.h"
#include "TfrmAbout.h"
#include "TfrmFileCheck.h"
#include "TfrmMain.h"
#include "TfrmProgress.h"
#include "TfrmSaveFiles.h"

#include <QApplication>
#include <QDir>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(bm::gui::appTitle());
    QApplication::setStyle(u"Fusion"_s);
    bm::gui::installFontSubstitutes();
    QApplication::setFont(bm::gui::tahoma(8));

    // The program folder holds Tembra.db, Defs/ and the scratch folder.
    const QString home = QDir(QCoreApplication::applicationDirPath()).absolutePath() + u'/';

    // The windows are made in this order and live until the program ends.
    TfrmMain frmMain;
    bm::Tdm dm(home);
    TfrmProgress frmProgress;
    TfrmAbout frmAbout;
    TfrmFileCheck frmFileCheck(&frmMain);
    GuiPrompter prompter(&frmMain);
    TfrmSaveFiles frmSaveFiles(dm, frmProgress, prompter, &frmMain);
    frmMain.attach({&dm, &frmProgress, &frmAbout, &prompter, &frmSaveFiles, &frmFileCheck});

    frmMain.showMaximized();
    return app.exec();
}
