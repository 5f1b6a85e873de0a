#include "Program.h"

#include "GridModel.h"
#include "Look.h"
#include "ProgramFolder.h"

#include <QApplication>

namespace bm::gui {

using namespace Qt::StringLiterals;

void prepareApplication()
{
    // The names that place the user's data folder; windows show the program's title.
    bm::nameApplication();
    QApplication::setApplicationDisplayName(appTitle());
    QApplication::setApplicationVersion(QStringLiteral(BM_VERSION));
    QApplication::setStyle(u"Fusion"_s);
    installFontSubstitutes();
    QApplication::setFont(tahoma(8));
}

Program::Program(const QString &home, Prompter *given)
    : dm(home)
    , frmFileCheck(&frmMain)
    , messageBoxes(&frmMain)
    , prompter(given ? *given : messageBoxes)
    , frmSaveFiles(dm, frmProgress, prompter, &frmMain)
    , frmProblems(prompter, &frmMain)
{
    frmMain.attach(
            {&dm, &frmProgress, &frmAbout, &prompter, &frmSaveFiles, &frmFileCheck, &frmProblems});
}

Program::~Program()
{
    frmMain.gridModel()->close();
    dm.close();
}

} // namespace bm::gui
