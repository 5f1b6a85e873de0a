#include "ProgramFolder.h"

#include "Error.h"
#include "Layout.h"
#include "Schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef BM_DATA_RELATIVE
#define BM_DATA_RELATIVE "../share/brindlemark"
#endif

namespace bm {

using namespace Qt::StringLiterals;

namespace {

QString withSlash(const QString &dir)
{
    const QString clean = QDir::cleanPath(QDir(dir).absolutePath());
    return clean.endsWith(u'/') ? clean : clean + u'/';
}

void copyMissing(const QString &from, const QString &to, QStringList &created)
{
    if (QFileInfo::exists(to))
        return;
    if (!QFile::copy(from, to))
        throw Error(u"Cannot copy \"%1\" to \"%2\""_s.arg(QDir::toNativeSeparators(from),
                                                          QDir::toNativeSeparators(to)));
    // The installed files are read-only; the user's copies are theirs to change.
    QFile::setPermissions(to, QFile::permissions(to) | QFile::WriteOwner);
    created << to;
}

} // namespace

void nameApplication()
{
    QCoreApplication::setOrganizationName(u"Corvelle"_s);
    QCoreApplication::setApplicationName(u"Brindlemark"_s);
}

QString installedDataFolder(const QString &executableFolder)
{
    return withSlash(QDir(executableFolder).filePath(QStringLiteral(BM_DATA_RELATIVE)));
}

ProgramFolder locateProgramFolder(const QString &executableFolder)
{
    ProgramFolder folder;
    const QString own = withSlash(executableFolder);
    if (QFileInfo(defsFolder(own)).isDir()) {
        folder.home = own;
        folder.dataSource = own;
        return folder;
    }
    folder.installed = true;
    folder.home = withSlash(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    folder.dataSource = installedDataFolder(own);
    return folder;
}

QStringList seedProgramFolder(const QString &home0, const QString &source0)
{
    const QString home = withSlash(home0);
    const QString source = withSlash(source0);
    if (!QDir().mkpath(defsFolder(home)))
        throw Error(u"Cannot create the folder \"%1\""_s.arg(
                QDir::toNativeSeparators(defsFolder(home))));
    QStringList created;
    const QDir layouts(defsFolder(source));
    if (!layouts.exists())
        throw Error(u"The program's data files are missing: \"%1\" does not exist"_s.arg(
                QDir::toNativeSeparators(defsFolder(source))));
    for (const QString &name : layouts.entryList(QDir::Files))
        copyMissing(layouts.filePath(name), defsFolder(home) + name, created);
    if (QFileInfo::exists(source + u"FileCheck.SQL"_s))
        copyMissing(source + u"FileCheck.SQL"_s, home + u"FileCheck.SQL"_s, created);
    if (createDatabase(home))
        created << home + u"Tembra.db"_s;
    return created;
}

} // namespace bm
