#pragma once

#include <QString>
#include <QStringList>

namespace bm {

// Where the program keeps the herd data, for the window and the command-line tool alike.
//
// Run from the build folder (or from any folder holding Defs/ beside the executable), the program
// folder is the executable's own folder. Installed, the executable's folder holds no Defs/: the
// program folder is then the user's data folder (QStandardPaths::AppDataLocation), seeded on
// first start from the data files installed with the program, so every user has a herd
// database of their own and the installed files are never written.

// Names the application as both front ends do before anything else, so both find the same data
// folder.
void nameApplication();

// The data files installed with the program: <executable folder>/../share/brindlemark/ (the
// relative place is fixed when the program is built), with a trailing separator.
QString installedDataFolder(const QString &executableFolder);

struct ProgramFolder
{
    QString home;       // the program folder, with a trailing separator
    QString dataSource; // the folder its data files come from: home itself when run in place
    bool installed = false;
};

// Decides the program folder for an executable in `executableFolder`: that folder itself when it
// holds Defs/, else the user's data folder with the installed data files as its source.
ProgramFolder locateProgramFolder(const QString &executableFolder);

// Seeds `home` from `source`: creates the folder, copies each file of source's Defs/ and its
// FileCheck.SQL that home lacks (a file already there, the user's own, is never replaced), and
// creates Tembra.db from the layouts when it is missing. Returns the files it created (full
// paths). Raises when a file cannot be copied or the database cannot be made.
QStringList seedProgramFolder(const QString &home, const QString &source);

} // namespace bm
