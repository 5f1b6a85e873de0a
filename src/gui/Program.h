#pragma once

#include "GuiPrompter.h"
#include "Tdm.h"
#include "TfrmAbout.h"
#include "TfrmFileCheck.h"
#include "TfrmMain.h"
#include "TfrmProblems.h"
#include "TfrmProgress.h"
#include "TfrmSaveFiles.h"

#include <QString>

namespace bm::gui {

// Prepares the application as the program runs: its title, the Fusion style, the stand-ins for
// Tahoma and the default font. Call once, after the QApplication is made and before any window.
void prepareApplication();

// Start-up: the program's windows and its data module, made in this order (members are made in
// the order they are declared: the main window, the data module, the progress window, the about
// box, the file-check window, the Select Files dialog and the problem list) and living together
// until the program ends, so their settings carry over between uses. The main window is attached to
// the others; nothing is shown and the database is not opened until the main window is first shown.
// The program, the screenshot tool and the window tests all start this way.
class Program
{
public:
    // `home`: the program folder. `prompter` answers every question; without one, message boxes
    // and file dialogs over the main window do.
    explicit Program(const QString &home, Prompter *prompter = nullptr);
    // Closes the grid and the connection; compaction is the main window's close (FormClose).
    ~Program();
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;

    TfrmMain frmMain;
    Tdm dm;
    TfrmProgress frmProgress;
    TfrmAbout frmAbout;
    TfrmFileCheck frmFileCheck;
    GuiPrompter messageBoxes; // message boxes and file dialogs over the main window
    Prompter &prompter;       // messageBoxes, or the prompter given
    TfrmSaveFiles frmSaveFiles;
    TfrmProblems frmProblems; // the problem list of the last import, load or merge with any
};

} // namespace bm::gui
