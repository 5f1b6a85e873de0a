#include "TestSupport.h"

#include "Error.h"
#include "FolderLock.h"
#include "Schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <QElapsedTimer>

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <zip.h>

namespace bm::test {

using namespace Qt::StringLiterals;

bool ScriptedPrompter::askYesNo(const QString &text)
{
    questions << text;
    if (answers.empty())
        return true;
    const bool a = answers.front();
    answers.pop_front();
    return a;
}

bool ScriptedPrompter::confirm(const QString &text)
{
    return askYesNo(text);
}

void ScriptedPrompter::notify(const QString &text)
{
    notices << text;
    if (onNotice)
        onNotice(text);
}

void ScriptedPrompter::showError(const QString &message)
{
    errors << message;
}

std::optional<QString> ScriptedPrompter::nextChoice()
{
    if (choices.empty())
        return std::nullopt;
    const QString c = choices.front();
    choices.pop_front();
    if (c.isNull())
        return std::nullopt;
    return c;
}

std::optional<QString> ScriptedPrompter::openFile(const QString &filter, const QString &initial)
{
    filters << filter;
    initials << initial;
    return nextChoice();
}

std::optional<QString> ScriptedPrompter::saveFile(const QString &filter, const QString &,
                                                  const QString &initial)
{
    return openFile(filter, initial);
}

std::optional<QString> ScriptedPrompter::inputText(const QString &caption, const QString &prompt,
                                                   const QString &initial)
{
    inputs << caption + u'|' + prompt + u'|' + initial;
    return nextChoice();
}

std::optional<int> ScriptedPrompter::chooseItem(const QString &, const QString &question,
                                                const QStringList &items)
{
    choiceQuestions << (QStringList{question} + items).join(u'|');
    if (picks.empty())
        return std::nullopt;
    const int pick = picks.front();
    picks.pop_front();
    return pick;
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

ProcessResult runProgram(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000))
        p.kill();
    return {p.exitStatus() == QProcess::NormalExit && p.error() == QProcess::UnknownError
                    ? p.exitCode()
                    : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

bool isLocked(const QString &home)
{
    try {
        FolderLock probe(home);
        return false;
    } catch (const Error &) {
        return true;
    }
}

LockHolder::LockHolder(const QString &cli, const QString &home)
    : m_process(std::make_unique<QProcess>())
{
    const QString pipe = m_dir.path() + u"/stuck.104"_s;
    if (::mkfifo(QFile::encodeName(pipe).constData(), 0600) != 0)
        throw Error(u"Cannot make the named pipe "_s + pipe);
    m_process->start(cli, {u"--home"_s, home, u"--quiet"_s, u"load"_s, pipe});
    if (!m_process->waitForStarted(10000))
        throw Error(u"Cannot start "_s + cli + u": "_s + m_process->errorString());
    // The holder writes its process id into the lock file right after it took the lock. The
    // file is only read here: probing by taking the lock could make the program find its
    // folder locked by this test and give up. Waiting on the process (not sleeping) lets an
    // early end be noticed.
    QFile lockFile(FolderLock::lockPath(home));
    const QByteArray pid = QByteArray::number(m_process->processId());
    QElapsedTimer timer;
    timer.start();
    while (!(lockFile.open(QIODevice::ReadOnly) && lockFile.readAll().trimmed() == pid)) {
        lockFile.close();
        if (timer.elapsed() > 10000 || m_process->waitForFinished(10))
            throw Error(u"The command-line program did not take the lock: "_s
                        + QString::fromUtf8(m_process->readAllStandardError()));
    }
}

LockHolder::~LockHolder()
{
    kill();
}

qint64 LockHolder::pid() const
{
    return m_process->processId();
}

void LockHolder::kill()
{
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(10000);
    }
}

QString sourceDataDir()
{
    return QStringLiteral(BM_SOURCE_DIR "/data/");
}

QString testDataDir()
{
    return QStringLiteral(BM_SOURCE_DIR "/tests/data/");
}

ProcessResult validateAde(const QStringList &pairs)
{
    const QString schemas = QStringLiteral(BM_ADE_SCHEMAS);
    if (!QFileInfo(schemas + u"/collections"_s).isDir())
        throw Error(u"The ICAR ADE schemas are missing: no folder \"%1/collections\""_s.arg(
                QDir::cleanPath(schemas)));
    // Debian's python3, where the set-up script installs its jsonschema package; else the first
    // python3 on the path.
    const QString python
            = QFileInfo::exists(u"/usr/bin/python3"_s) ? u"/usr/bin/python3"_s : u"python3"_s;
    return runProgram(
            python,
            QStringList{QStringLiteral(BM_SOURCE_DIR "/tests/tools/validate_ade.py"), schemas}
                    + pairs);
}

TestHome::TestHome()
{
    if (!m_dir.isValid())
        throw Error(u"Cannot create a temporary folder"_s);
    m_home = m_dir.path() + u'/';
    QDir().mkpath(m_home + u"Defs"_s);
    const QDir defs(sourceDataDir() + u"Defs"_s);
    for (const QString &name : defs.entryList(QDir::Files))
        QFile::copy(defs.filePath(name), m_home + u"Defs/"_s + name);
    createDatabase(m_home);
}

QString TestHome::write(const QString &name, const QByteArray &bytes) const
{
    const QString path = QFileInfo(name).isAbsolute() ? name : m_home + name;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        throw Error(u"Cannot write "_s + path);
    return path;
}

void TestHome::writeLayout(const QString &defName, const QByteArray &ini) const
{
    write(u"Defs/"_s + defName, ini);
}

Tdm &TestHome::dm()
{
    if (!m_dm) {
        m_dm = std::make_unique<Tdm>(m_home);
        m_dm->ConnectDB();
    }
    return *m_dm;
}

QStringList TestHome::rows(const QString &sql)
{
    QStringList out;
    Stmt stmt = dm().prepare(sql);
    while (stmt->next()) {
        QStringList cells;
        for (int i = 0; i < stmt->columnCount(); ++i) {
            if (stmt->isNull(i))
                cells << u"<null>"_s;
            else
                cells << stmt->string(i);
        }
        out << cells.join(u'|');
    }
    return out;
}

void makeZip(const QString &path, const Entries &entries, bool store)
{
    int error = 0;
    zip_t *z = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(z, nullptr);
    for (const auto &[name, data] : entries) {
        const QByteArray n = name.toUtf8();
        if (name.endsWith(u'/')) {
            ASSERT_GE(zip_dir_add(z, n.constData(), ZIP_FL_ENC_UTF_8), 0);
            continue;
        }
        zip_source_t *src = zip_source_buffer(z, data.constData(), zip_uint64_t(data.size()), 0);
        const zip_int64_t index = zip_file_add(z, n.constData(), src, ZIP_FL_ENC_UTF_8);
        ASSERT_GE(index, 0) << zip_strerror(z);
        if (store)
            zip_set_file_compression(z, zip_uint64_t(index), ZIP_CM_STORE, 0);
    }
    ASSERT_EQ(zip_close(z), 0);
}

} // namespace bm::test
