#include "Leftovers.h"

#include "Undo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <unistd.h>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

// Removes the entries of `folder` (files and links, never a folder or what a link points to)
// whose names match one of `masks`, letter case aside.
void removeMatching(const QString &folder, const QStringList &masks)
{
    QList<QRegularExpression> patterns;
    for (const QString &mask : masks)
        patterns << QRegularExpression::fromWildcard(mask, Qt::CaseInsensitive);
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden
                                                     | QDir::NoDotAndDotDot);
    for (const QString &name : names) {
        for (const QRegularExpression &pattern : std::as_const(patterns)) {
            if (pattern.match(name).hasMatch()) {
                const int ignored = ::unlink(QFile::encodeName(folder + name).constData());
                Q_UNUSED(ignored);
                break;
            }
        }
    }
}

} // namespace

void removeLeftovers(const QString &home, bool holderDied)
{
    const QString folder = home.endsWith(u'/') ? home : home + u'/';
    finishUndoSteps(folder);
    removeMatching(folder, {u"Tembra.compact-*.db"_s, u"Tembra.compact-*.db-journal"_s});
    // Only a real folder of the program folder is the scratch folder: never look through a link.
    const QString scratch = folder + u"Scratch/"_s;
    const QFileInfo info(folder + u"Scratch"_s);
    if (!info.isDir() || info.isSymLink())
        return;
    QStringList masks{u"~split-*.tmp"_s};
    if (holderDied)
        masks << u"*.DIF"_s << u"DIF.*"_s << u"*.1*"_s << u"*.2*"_s << u"*.edx"_s << u"*.csv"_s;
    removeMatching(scratch, masks);
}

} // namespace bm
