#include "FuzzHome.h"

#include "Schema.h"
#include "Tdm.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace bm::fuzz {

using namespace Qt::StringLiterals;

FuzzHome &FuzzHome::instance()
{
    static FuzzHome home;
    return home;
}

FuzzHome::FuzzHome()
{
    // Qt's plug-ins (the SQLite driver) are found through the application object.
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);

    const QString base = QDir(u"/dev/shm"_s).exists() ? u"/dev/shm"_s : QDir::tempPath();
    static QTemporaryDir dir(base + u"/bm-fuzz-XXXXXX"_s);
    if (!dir.isValid())
        std::abort();
    m_path = dir.path() + u'/';
    QDir().mkpath(m_path + u"Defs"_s);
    const QDir defs(QStringLiteral(BM_SOURCE_DIR "/data/Defs"));
    for (const QString &file : defs.entryList(QDir::Files))
        QFile::copy(defs.filePath(file), m_path + u"Defs/"_s + file);
    createDatabase(m_path);
}

Tdm &FuzzHome::dm()
{
    if (!m_dm) {
        m_dm = new Tdm(m_path);
        m_dm->ConnectDB();
        // Nothing here needs to survive a crash of the machine.
        m_dm->exec(u"PRAGMA synchronous = OFF"_s);
        m_dm->exec(u"PRAGMA journal_mode = MEMORY"_s);
    }
    return *m_dm;
}

QString FuzzHome::write(const QString &name, const uint8_t *data, size_t size) const
{
    const QString path = m_path + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        std::abort();
    return path;
}

void FuzzHome::clearFolder(const QString &folder)
{
    const QDir dir(folder);
    for (const QString &file : dir.entryList(QDir::Files | QDir::Hidden))
        QFile::remove(dir.filePath(file));
}

} // namespace bm::fuzz
