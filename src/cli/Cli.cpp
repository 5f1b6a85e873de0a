#include "Cli.h"

#include "Compaction.h"
#include "Error.h"
#include "FileCheck.h"
#include "FileWrite.h"
#include "Importer.h"
#include "Layout.h"
#include "Loader.h"
#include "PgConnection.h"
#include "ProblemList.h"
#include "Saver.h"
#include "Schema.h"
#include "Text.h"
#include "Undo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <unistd.h>

namespace bm::cli {

using namespace Qt::StringLiterals;

void out(const QString &text)
{
    const QByteArray b = text.toLocal8Bit();
    std::fwrite(b.constData(), 1, size_t(b.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void err(const QString &text)
{
    const QByteArray b = text.toLocal8Bit();
    std::fwrite(b.constData(), 1, size_t(b.size()), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

// ---------------------------------------------------------------------------------------------

CliProgress::CliProgress()
    : m_tty(isatty(STDERR_FILENO) == 1)
{}

void CliProgress::onVisibleChanged(bool visible)
{
    if (m_tty && !visible)
        std::fputs("\r\033[K", stderr);
}

void CliProgress::onStatusChanged()
{
    draw();
}

void CliProgress::onGaugeChanged()
{
    draw();
}

void CliProgress::draw()
{
    if (!m_tty || !isVisible())
        return;
    const int p = percent();
    const int filled = p * 30 / 100;
    const QByteArray text = status().toLocal8Bit();
    std::fprintf(stderr, "\r\033[K%-28.28s [%.*s%*s] %3d%%", text.constData(), filled,
                 "##############################", 30 - filled, "", p);
    std::fflush(stderr);
}

// ---------------------------------------------------------------------------------------------

namespace {

// The text before the first carriage return: a prompt's count or message without its question.
QString firstLine(const QString &text)
{
    const qsizetype cr = text.indexOf(u'\r');
    return cr < 0 ? text : text.left(cr);
}

} // namespace

bool CliPrompter::askYesNo(const QString &text)
{
    err(firstLine(text));
    return m_answer == Answer::Yes || (m_answer == Answer::Default && m_defaultYes);
}

void CliPrompter::notify(const QString &text)
{
    err(firstLine(text));
}

void CliPrompter::showError(const QString &message)
{
    err(errorBoxText(message));
}

std::optional<QString> CliPrompter::openFile(const QString &, const QString &)
{
    return m_choice;
}

std::optional<QString> CliPrompter::saveFile(const QString &, const QString &, const QString &)
{
    return std::nullopt;
}

std::optional<QString> CliPrompter::inputText(const QString &, const QString &, const QString &)
{
    return m_choice;
}

std::optional<int> CliPrompter::chooseItem(const QString &, const QString &question,
                                           const QStringList &items)
{
    // The question's last sentence asks; what comes before it says what there is to choose.
    const qsizetype asked = question.lastIndexOf(u". "_s);
    throw Error(u"%1: %2. The command line cannot ask which one: unpack it and give the file of "
                "one"_s.arg(asked < 0 ? question : question.left(asked), items.join(u"; "_s)));
}

void withProblems(Context &ctx, ProblemList &problems, const std::function<void()> &command,
                  const QString &done)
{
    const QString file = ctx.parser && ctx.parser->isSet(u"problems"_s)
                                 ? QFileInfo(ctx.parser->value(u"problems"_s)).absoluteFilePath()
                                 : QString();
    if (!file.isEmpty()) {
        // The problem list must be writable before anything changes: a script that sees the
        // command fail afterwards would run it again.
        QSaveFile probe(file);
        if (QFileInfo(file).isDir() || !probe.open(QIODevice::WriteOnly))
            throw Error(u"Cannot write the problem list \"%1\". %2. Nothing was changed"_s.arg(
                    QDir::toNativeSeparators(file),
                    QFileInfo(file).isDir() ? systemMessage(EISDIR) : probe.errorString()));
        probe.cancelWriting();
    }
    try {
        command();
    } catch (const Error &) {
        // The problems found before the error may tell what went wrong.
        if (!file.isEmpty()) {
            try {
                problems.writeCsv(file);
            } catch (const Error &e) {
                err(u"brindlemark-cli: "_s + errorBoxText(e.message()));
            }
        }
        throw;
    }
    if (file.isEmpty())
        return;
    try {
        problems.writeCsv(file);
    } catch (const Error &e) {
        // The command has committed: it succeeded, and only its list is missing.
        err(u"brindlemark-cli: %1, but the problem list could not be written: %2"_s.arg(
                done, errorBoxText(e.message())));
    }
}

// ---------------------------------------------------------------------------------------------

namespace {

void copyFile(const QString &from, const QString &to)
{
    if (QFileInfo::exists(to))
        return;
    if (!QFile::copy(from, to))
        throw Error(u"Cannot copy \"%1\" to \"%2\""_s.arg(QDir::toNativeSeparators(from),
                                                          QDir::toNativeSeparators(to)));
}

} // namespace

int cmdInit(Context &ctx)
{
    if (!ctx.args.isEmpty())
        throw UsageError{u"init takes no arguments"_s};
    if (!QDir().mkpath(ctx.home))
        throw Error(u"Cannot create the folder \"%1\""_s.arg(QDir::toNativeSeparators(ctx.home)));
    // A home without layouts gets a copy of the program's own data files.
    if (!QFileInfo(defsFolder(ctx.home)).isDir()) {
        const QDir source(defsFolder(ctx.programDir));
        if (!source.exists())
            throw Error(u"The program folder has no Defs folder to copy"_s);
        QDir().mkpath(defsFolder(ctx.home));
        for (const QString &name : source.entryList(QDir::Files))
            copyFile(source.filePath(name), defsFolder(ctx.home) + name);
        if (QFileInfo::exists(ctx.programDir + u"FileCheck.SQL"_s))
            copyFile(ctx.programDir + u"FileCheck.SQL"_s, ctx.home + u"FileCheck.SQL"_s);
    }
    if (!ctx.database.isEmpty()) {
        db::PgConnection connection(ctx.database);
        const int made = createTables(connection, ctx.home);
        if (!ctx.quiet)
            out(made > 0 ? u"Created the tables of %1"_s.arg(connection.displayName())
                         : u"%1 has its tables; left as they are"_s.arg(connection.displayName()));
        return 0;
    }
    const bool created = createDatabase(ctx.home);
    if (!ctx.quiet)
        out(created ? u"Created %1"_s.arg(QDir::toNativeSeparators(ctx.home + u"Tembra.db"_s))
                    : u"%1 exists; left as it is"_s.arg(
                            QDir::toNativeSeparators(ctx.home + u"Tembra.db"_s)));
    return 0;
}

int cmdImport(Context &ctx)
{
    if (ctx.args.size() != 1)
        throw UsageError{u"import takes one file"_s};
    const QString file = ctx.args.first();
    const QString code = QFileInfo(file).suffix();
    if (recordTypeIndex(code) < 0)
        throw UsageError{u"'%1' is not a per-type DIF file: its extension must be a record "
                         "type code (%2)"_s.arg(file, recordTypeCodes().join(u", "_s))};
    if (QFileInfo(file).isDir())
        throw Error(
                u"Cannot open file \"%1\". Is a directory"_s.arg(QDir::toNativeSeparators(file)));
    // A named pipe, a device or a socket is no file to import; only a name with nothing behind
    // it is missing.
    refuseSpecialFile(file);
    if (!QFileInfo(file).isFile())
        throw Error(u"Cannot open file \"%1\". No such file"_s.arg(QDir::toNativeSeparators(file)));

    Tdm dm(ctx.home);
    dm.setServer(ctx.database);
    dm.ConnectDB(&ctx.progress);
    // Not kept for undo, but known to it: an undo never puts back data from before an import.
    const ChangeSource source(dm, u"Import \"%1\""_s.arg(QFileInfo(file).fileName()));
    Importer importer(dm, ctx.progress, ctx.prompter);
    ProblemList problems;
    importer.setProblems(&problems);
    withProblems(
            ctx, problems, [&] { importer.importTypeFile(file, code); },
            u"The rows were imported"_s);
    const Importer::Counts &c = importer.counts();
    ctx.progress.hide();
    if (!ctx.quiet)
        out(u"%1 %2 rows imported, %3 lines failed, %4 field errors"_s.arg(code)
                    .arg(c.inserted)
                    .arg(c.failedLines)
                    .arg(c.fieldErrors));
    return 0;
}

int cmdLoad(Context &ctx)
{
    if (ctx.args.size() != 1)
        throw UsageError{u"load takes one file"_s};
    Tdm dm(ctx.home);
    dm.setServer(ctx.database);
    dm.ConnectDB(&ctx.progress);
    Loader loader(dm, ctx.progress, ctx.prompter);
    ProblemList problems;
    loader.setProblems(&problems);
    withProblems(
            ctx, problems, [&] { loader.load(ctx.args.first()); }, u"The data set was loaded"_s);
    if (!ctx.quiet) {
        for (const RecordType &t : recordTypes())
            out(u"%1 %2"_s.arg(t.code).arg(dm.rowCount(t.code)));
    }
    return 0;
}

int cmdSplit(Context &ctx)
{
    if (ctx.args.size() != 1)
        throw UsageError{u"split takes one file"_s};
    const QString file = ctx.args.first();
    QFile probe(file);
    if (QFileInfo(file).isDir() || !probe.open(QIODevice::ReadOnly))
        throw Error(u"Cannot open file \"%1\". %2"_s.arg(
                QDir::toNativeSeparators(file),
                QFileInfo(file).isDir() ? u"Is a directory"_s : probe.errorString()));
    Tdm dm(ctx.home);
    dm.setServer(ctx.database);
    Loader loader(dm, ctx.progress, ctx.prompter);
    ctx.progress.show();
    loader.SplitDIF(file);
    ctx.progress.hide();
    if (!ctx.quiet) {
        QStringList written = loader.splitFiles();
        written.sort();
        for (const QString &path : written)
            out(QDir::toNativeSeparators(path));
    }
    return 0;
}

int cmdStats(Context &ctx)
{
    if (!ctx.args.isEmpty())
        throw UsageError{u"stats takes no arguments"_s};
    Tdm dm(ctx.home);
    dm.setServer(ctx.database);
    dm.ConnectDB(&ctx.progress);
    for (const RecordType &t : recordTypes())
        out(u"%1 %2"_s.arg(t.code).arg(dm.rowCount(t.code)));
    return 0;
}

QStringList typesOption(const Context &ctx, const QStringList &all)
{
    if (!ctx.parser->isSet(u"types"_s))
        return all;
    QStringList types;
    for (const QString &item : ctx.parser->value(u"types"_s).split(u',')) {
        const QString code = item.trimmed();
        if (recordTypeIndex(code) < 0)
            throw UsageError{
                    u"'%1' is not a record type (%2)"_s.arg(code, recordTypeCodes().join(u", "_s))};
        types << code;
    }
    return types;
}

int cmdSave(Context &ctx)
{
    if (ctx.args.size() != 1)
        throw UsageError{u"save takes one output file"_s};
    const bool dif = ctx.parser->isSet(u"dif"_s);
    const bool csv = ctx.parser->isSet(u"csv"_s);
    const bool ade = ctx.parser->isSet(u"ade"_s);
    if (int(dif) + int(csv) + int(ade) != 1)
        throw UsageError{u"save needs one of --dif, --csv and --ade"_s};
    if (ade)
        return cmdSaveAde(ctx);
    for (const QString &option : {u"id-scheme"_s, u"milk-density"_s})
        if (ctx.parser->isSet(option))
            throw UsageError{u"--%1 belongs to save --ade"_s.arg(option)};

    SaveRequest request;
    request.format = dif ? SaveFormat::DIF : SaveFormat::CSV;
    request.zip = ctx.parser->isSet(u"zip"_s);
    request.types = typesOption(ctx, recordTypeCodes());

    Tdm dm(ctx.home);
    dm.setServer(ctx.database);
    dm.ConnectDB(&ctx.progress);
    Saver saver(dm, ctx.progress, ctx.prompter);
    const SaveResult result = saver.save(request, QFileInfo(ctx.args.first()).absoluteFilePath());
    if (!ctx.quiet)
        for (const QString &code : result.empty)
            err(u"%1 has no rows: no file written"_s.arg(code));
    printSaved(ctx, result);
    return 0;
}

void printSaved(const Context &ctx, const SaveResult &result)
{
    if (ctx.quiet)
        return;
    if (!result.archive.isEmpty())
        out(QDir::toNativeSeparators(result.archive));
    else
        for (const QString &path : result.written)
            out(QDir::toNativeSeparators(path));
}

int cmdCompact(Context &ctx)
{
    if (!ctx.args.isEmpty())
        throw UsageError{u"compact takes no arguments"_s};
    if (!ctx.database.isEmpty()) {
        // The server keeps its own files; what compacting gives the embedded database, fresh
        // figures for choosing how to run a query, is the planner's statistics here.
        Tdm dm(ctx.home);
        dm.setServer(ctx.database);
        dm.ConnectDB(&ctx.progress);
        QStringList tables = recordTypeCodes();
        tables << u"MergeCow"_s;
        for (const QString &table : std::as_const(tables))
            dm.exec(u"ANALYZE "_s + Tdm::quoteId(table));
        if (!ctx.quiet)
            out(u"The server keeps the files of %1 itself: refreshed the planner's statistics of "
                "its %2 tables"_s.arg(dm.databaseName())
                        .arg(tables.size()));
        return 0;
    }
    // What closing the program window does: the state now is kept as Backup.db and the compacted
    // copy becomes Tembra.db only once it is complete.
    const QString database = QDir::toNativeSeparators(ctx.home + u"Tembra.db"_s);
    const HideProgressAtEnd hideAtEnd(ctx.progress);
    if (!compactDatabase(ctx.home, u"Tembra"_s, u"Backup"_s, &ctx.progress))
        throw Error(u"Could not find file '%1'"_s.arg(database));
    if (!ctx.quiet)
        out(u"Compacted %1; the database as it was is kept as %2"_s.arg(
                database, QDir::toNativeSeparators(ctx.home + u"Backup.db"_s)));
    return 0;
}

namespace {

// The lines the findings window would get, on stdout as they come.
class PrintedFindings final : public CheckOutput
{
public:
    void findings(const QStringList &lines) override
    {
        for (const QString &line : lines)
            out(line);
    }
    void notice(const QString &text) override { err(text); }
};

} // namespace

int cmdCheck(Context &ctx)
{
    if (!ctx.args.isEmpty())
        throw UsageError{u"check takes no arguments"_s};
    Tdm dm(ctx.home);
    dm.setServer(ctx.database);
    dm.ConnectDB(&ctx.progress);
    PrintedFindings output;
    runFileCheck(dm, output, &ctx.progress);
    return 0;
}

int cmdUndo(Context &ctx)
{
    if (!ctx.args.isEmpty())
        throw UsageError{u"undo takes no arguments"_s};
    if (!ctx.database.isEmpty())
        throw Error(u"Undo keeps the states of Tembra.db only: nothing is kept for undo on the "
                    "server database %1"_s.arg(db::PgConnection::displayNameOf(ctx.database)));
    // On a connection of its own: a herd database that cannot be opened can still be replaced
    // by the state kept before the command that broke it.
    const UndoCheck check = checkUndo(ctx.home);
    if (!check.info)
        throw Error(u"There is nothing to undo"_s);
    if (!check.refusal.isEmpty())
        throw Error(check.refusal);
    // Like every command that changes rows: without --yes it says what it would do.
    ctx.prompter.setDefaultNo();
    if (!ctx.prompter.askYesNo(undoQuestion(check))) {
        if (ctx.prompter.answer() == CliPrompter::Answer::Default)
            err(u"Nothing was changed: without --yes every question is answered No."_s);
        return 0;
    }
    const UndoResult result = undoLastCommand(ctx.home, ctx.progress);
    if (!ctx.quiet)
        out((result.undone.redo ? u"Redone: "_s : u"Undone: "_s) + result.undone.caption);
    if (!result.warning.isEmpty())
        err(result.warning);
    return 0;
}

} // namespace bm::cli
