#pragma once

#include "ProgressSink.h"
#include "Prompter.h"
#include "Tdm.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>

namespace bm {
class ProblemList;
struct SaveResult;
} // namespace bm

namespace bm::cli {

// Progress on stderr as a one-line bar, only when stderr is a terminal.
class CliProgress final : public ProgressSink
{
public:
    CliProgress();

protected:
    void onVisibleChanged(bool visible) override;
    void onStatusChanged() override;
    void onGaugeChanged() override;

private:
    void draw();
    bool m_tty = false;
};

// Answers prompts from the command line: --yes answers Yes, --no answers No. Without either, a
// question is answered Yes so an import goes on, while a command that deletes or changes rows
// answers No (setDefaultNo). Every question and notice is printed on stderr as one line, the
// text before its carriage returns. The file dialog and the input box take the command's
// argument (setChoice).
class CliPrompter final : public Prompter
{
public:
    enum class Answer { Default, Yes, No };
    explicit CliPrompter(Answer answer)
        : m_answer(answer)
    {}
    Answer answer() const { return m_answer; }
    void setDefaultNo() { m_defaultYes = false; }
    void setChoice(const QString &choice) { m_choice = choice; }
    bool askYesNo(const QString &text) override;
    void notify(const QString &text) override;
    void showError(const QString &message) override;
    std::optional<QString> openFile(const QString &, const QString &) override;
    std::optional<QString> saveFile(const QString &, const QString &, const QString &) override;
    std::optional<QString> inputText(const QString &, const QString &, const QString &) override;
    // Nothing to choose with on the command line: refuses with the question and the items.
    std::optional<int> chooseItem(const QString &caption, const QString &question,
                                  const QStringList &items) override;

private:
    Answer m_answer;
    bool m_defaultYes = true;
    std::optional<QString> m_choice;
};

// What every command gets: the home folder, the program's own folder, the prompter, the
// progress sink and the command's own arguments.
struct Context
{
    QString home;       // with a trailing separator
    QString programDir; // with a trailing separator
    QString database;   // a server's connection URI; empty for Tembra.db of the home folder
    CliPrompter &prompter;
    CliProgress &progress;
    QStringList args; // the arguments after the command name
    bool quiet = false;
    const QCommandLineParser *parser = nullptr; // for a command's own options
};

// Raised for bad usage: printed with the usage text, exit status 2.
struct UsageError
{
    QString message;
};

// Runs `command` of an importing command, then writes the problems it collected to the file of
// --problems when that is given, also when the command ends with an error. A file that cannot be
// written is refused before the command runs; should the writing still fail after the command
// succeeded, `done` ("The rows were imported") says so on stderr and the exit status stays 0.
void withProblems(Context &ctx, ProblemList &problems, const std::function<void()> &command,
                  const QString &done);

// The record types of --types, each checked (a usage error names one that is none); `all`
// without the option.
QStringList typesOption(const Context &ctx, const QStringList &all);
// The files a save wrote (or its archive) on stdout, one a line, unless --quiet.
void printSaved(const Context &ctx, const SaveResult &result);

void out(const QString &text); // a line on stdout
void err(const QString &text); // a line on stderr

int cmdInit(Context &ctx);
int cmdImport(Context &ctx);
int cmdLoad(Context &ctx);
int cmdSplit(Context &ctx);
int cmdStats(Context &ctx);
int cmdSave(Context &ctx);
int cmdCompact(Context &ctx);
int cmdCheck(Context &ctx);
int cmdClean(Context &ctx);
int cmdTrim(Context &ctx);
int cmdList(Context &ctx);
int cmdHerdcode(Context &ctx);
int cmdMerge(Context &ctx);
int cmdUndo(Context &ctx);
// The lactation check and the ADE JSON save (HerdDataCommands.cpp).
int cmdYields(Context &ctx);
int cmdSaveAde(Context &ctx);

} // namespace bm::cli
