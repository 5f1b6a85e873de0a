#pragma once

#include "ProgressSink.h"
#include "Prompter.h"
#include "Tdm.h"

#include <QByteArray>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QProcess;

#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include <ostream>

// Readable values in test failure messages.
inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList &l, std::ostream *os)
{
    *os << "{\"" << l.join(QStringLiteral("\", \"")).toStdString() << "\"}";
}

namespace bm::test {

// Answers every modal interaction from a script and records what was asked, so no test ever
// waits on a window. Yes/No questions take the next queued answer (Yes when none is queued);
// file and input choices take the next queued text (cancel when none is queued, or when the
// queued text is a null QString).
class ScriptedPrompter final : public Prompter
{
public:
    bool askYesNo(const QString &text) override;
    bool confirm(const QString &text) override;
    void notify(const QString &text) override;
    void showError(const QString &message) override;
    std::optional<QString> openFile(const QString &filter, const QString &initial) override;
    std::optional<QString> saveFile(const QString &filter, const QString &defaultSuffix,
                                    const QString &initial) override;
    std::optional<QString> inputText(const QString &caption, const QString &prompt,
                                     const QString &initial) override;
    // Takes the next queued pick (cancel when none is queued) and records the question and the
    // items as "<question>|<item>|<item>...".
    std::optional<int> chooseItem(const QString &caption, const QString &question,
                                  const QStringList &items) override;

    std::deque<bool> answers;
    std::deque<int> picks;
    QStringList choiceQuestions;
    std::deque<QString> choices;
    QStringList questions; // every Yes/No text, in order
    QStringList notices;
    QStringList errors;
    QStringList filters;  // the filter of every file dialog
    QStringList initials; // the file every file dialog opened on
    QStringList inputs;   // every input box as "<caption>|<prompt>|<default>"
    // Called with each notice as it is given, so a test can look at the windows at that moment.
    std::function<void(const QString &)> onNotice;

private:
    std::optional<QString> nextChoice();
};

// Sets the default locale for one test.
struct LocaleScope
{
    explicit LocaleScope(const QLocale &locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(m_saved); }
    QLocale m_saved;
};

// Records what the progress window was told.
class RecordingProgress final : public ProgressSink
{
public:
    QStringList statuses;
    QStringList recordTexts; // the record counts shown, in turn
    int shows = 0;
    int busySpells = 0; // times the wait cursor came on

protected:
    void onVisibleChanged(bool visible) override { shows += visible ? 1 : 0; }
    void onBusyChanged(bool busy) override { busySpells += busy ? 1 : 0; }
    void onStatusChanged() override { statuses << status(); }
    void onRecordsChanged() override { recordTexts << records(); }
};

// A fresh program folder with the layouts (a copy of data/Defs) and an empty herd database.
class TestHome
{
public:
    TestHome();
    // The folder with a trailing separator.
    QString path() const { return m_home; }
    // Writes `bytes` to <home>/<name> (or to an absolute path) and returns the path.
    QString write(const QString &name, const QByteArray &bytes) const;
    // Writes a layout file into Defs/.
    void writeLayout(const QString &defName, const QByteArray &ini) const;
    // An open data module on this folder's database.
    Tdm &dm();
    // The rows of a query, each as its columns joined by "|" (Null as "<null>").
    QStringList rows(const QString &sql);

private:
    QTemporaryDir m_dir;
    QString m_home;
    std::unique_ptr<Tdm> m_dm;
};

// What a finished program printed and returned (-1 when it crashed or could not start).
struct ProcessResult
{
    int exitCode = -1;
    QString out;
    QString err;
};
// The bytes of a file, or "<missing>" when it cannot be read.
QByteArray readFile(const QString &path);

// Runs a program to its end (at most two minutes).
ProcessResult runProgram(const QString &program, const QStringList &args);

// A copy of the command-line program that holds the lock of a program folder until it is
// killed: it is in the middle of a load, waiting to read a named pipe that nobody writes to.
class LockHolder
{
public:
    // Starts `cli` on `home` and returns once it holds the lock (raises when it does not within
    // ten seconds).
    LockHolder(const QString &cli, const QString &home);
    ~LockHolder();
    qint64 pid() const;
    // Ends it with SIGKILL, as a crash would, and waits for it.
    void kill();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QProcess> m_process;
};

using Entries = QList<std::pair<QString, QByteArray>>;
// Writes a ZIP archive with libzip; a name ending in "/" is a folder entry. `store` keeps the
// entries uncompressed.
void makeZip(const QString &path, const Entries &entries, bool store = false);

// True when some process holds the lock of the program folder `home`.
bool isLocked(const QString &home);

// The source tree's data/ folder and tests/data/ folder (with trailing separators).
QString sourceDataDir();
QString testDataDir();

// Validates ICAR ADE JSON files against the ADE schemas, which lie beside the repository
// (../shared/ade, not copied into it), with tests/tools/validate_ade.py: `pairs` holds a
// collection schema's name and a file, in turn ("icarAnimalCoreCollection", "out_animals.json",
// ...). Exit code 0 when every file is valid; the validator's lines in `out`. Raises when the
// schemas are missing, so a test never passes without them.
ProcessResult validateAde(const QStringList &pairs);

} // namespace bm::test
