#include "Cli.h"
#include "Error.h"
#include "FolderLock.h"
#include "Leftovers.h"
#include "PgConnection.h"
#include "ProgramFolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSysInfo>

#include <csignal>
#include <functional>
#include <map>
#include <optional>

using namespace Qt::StringLiterals;
using namespace bm::cli;

namespace {

// Whether a command holds the lock of the program folder while it runs: every command that
// changes the herd database or the scratch folder does, so two copies of the program never work
// on one folder at a time.
enum class Lock {
    None,   // reads only
    Home,   // changes the database or the scratch folder
    NewHome // as Home; the program folder is created first when missing
};

// What a command does to the herd data, for a database on a server that several people use: a
// bulk command takes the server's lock of the herd database (one at a time, whoever runs it),
// and one that writes is refused at once to a login that may only read.
enum class Change {
    None,  // reads only
    Bulk,  // may change many rows: one at a time
    Writes // a bulk command that a reading login cannot run
};

struct Command
{
    QString synopsis;
    std::function<int(Context &)> run;
    Lock lock = Lock::None;
    Change change = Change::None;
};

const std::map<QString, Command> &commands()
{
    static const std::map<QString, Command> table = {
            {u"compact"_s,
             {u"compact              compact the herd database, keeping it as it was in "
              "Backup.db"_s,
              cmdCompact, Lock::Home, Change::Writes}},
            {u"init"_s,
             {u"init                 create the herd database of the home folder"_s, cmdInit,
              Lock::NewHome}},
            {u"import"_s,
             {u"import FILE          import one per-type DIF file into its table"_s, cmdImport,
              Lock::Home, Change::Writes}},
            {u"load"_s,
             {u"load FILE            load a data set: per-type file, combined .DIF or ZIP"_s,
              cmdLoad, Lock::Home, Change::Writes}},
            {u"split"_s,
             {u"split FILE           split a combined .DIF file into per-type files in the "
              "scratch folder"_s,
              cmdSplit, Lock::Home}},
            {u"stats"_s,
             {u"stats                row count of every record-type table"_s, cmdStats}},
            {u"save"_s,
             {u"save (--dif|--csv) [--zip] [--types 101,102,...] OUT\n"
              "                       save the record-type tables (all without --types) as\n"
              "                       DIF or CSV files named after OUT, or zipped into OUT.zip\n"
              "  save --ade [--zip] [--types 102,103,104] [--id-scheme SCHEME]\n"
              "       [--milk-density KG] OUT\n"
              "                       the animals, lactations and test days as ICAR ADE JSON:\n"
              "                       OUT_animals.json, OUT_lactations.json, OUT_testdays.json"_s,
              cmdSave, Lock::Home}},
            {u"yields"_s,
             {u"yields [--tolerance PERCENT] [--flagged] [OUT.csv]\n"
              "                       the lactation check: stated and computed 305-day yields\n"
              "                       of every lactation, as CSV (standard output without OUT)"_s,
              cmdYields}},
            {u"check"_s,
             {u"check                run the file-check script FileCheck.SQL of the home folder\n"
              "                       and print what its checks find"_s,
              cmdCheck, Lock::Home, Change::Bulk}},
            {u"clean"_s,
             {u"clean 102|103        remove the records of cows not in the pedigree (102) or\n"
              "                       lactation (103) table, asking for each table"_s,
              cmdClean, Lock::Home, Change::Writes}},
            {u"trim"_s,
             {u"trim keep|remove TABLE FIELD OP [VALUE [VALUE2]]\n"
              "                       keep only the rows the filter lists, or remove them;\n"
              "                       OP: eq lt le gt ge between empty notempty contains,\n"
              "                       dates as YYYY-MM-DD"_s,
              cmdTrim, Lock::Home, Change::Writes}},
            {u"list"_s,
             {u"list TABLE [FIELD OP [VALUE [VALUE2]]] [--sort FIELD [--desc]]\n"
              "                       the rows the grid would show, as CSV on standard output"_s,
              cmdList}},
            {u"herdcode"_s,
             {u"herdcode CODE        write CODE (at most 7 characters) into every herd code"_s,
              cmdHerdcode, Lock::Home, Change::Writes}},
            {u"merge"_s,
             {u"merge FILE           copy the national IDs of a cow pedigree file (.102) into\n"
              "                       every record with the same cow ID and herd code"_s,
              cmdMerge, Lock::Home, Change::Writes}},
            {u"undo"_s,
             {u"undo                 put the herd data back as it was before the last load,\n"
              "                       clean-up, trim, herd-code change, merge or file check\n"
              "                       that changed it; undo again to redo"_s,
              cmdUndo, Lock::Home, Change::Writes}},
    };
    return table;
}

QString withSlash(const QString &dir)
{
    const QString clean = QDir::cleanPath(QDir(dir).absolutePath());
    return clean.endsWith(u'/') ? clean : clean + u'/';
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    bm::nameApplication();
    // A limit on the size of files (ulimit -f) makes a write fail with its own error, which ends
    // the command with a message like a full disk does, instead of killing the program.
    std::signal(SIGXFSZ, SIG_IGN);

    QCommandLineParser parser;
    QString description = u"Herd-recording data from the command line.\n\nCommands:\n"_s;
    for (const auto &[name, command] : commands())
        description += u"  "_s + command.synopsis + u'\n';
    description += u"\nCommands that delete or change rows ask first: --yes answers Yes, --no "
                   "answers No;\nwithout either they print what they would do and answer No.\n"_s;
    parser.setApplicationDescription(description);
    parser.addHelpOption();
    const QCommandLineOption homeOption(u"home"_s,
                                        u"The program folder holding Tembra.db and Defs/ "
                                        "(default: the program's own folder when it holds "
                                        "Defs/, else the user's data folder)."_s,
                                        u"DIR"_s);
    const QCommandLineOption databaseOption(
            u"database"_s,
            u"A herd database on a PostgreSQL server, as a connection URI "
            "(postgresql://user@host:5432/herd; options=-csearch_path=SCHEMA picks a schema). "
            "Default: the environment variable BRINDLEMARK_DATABASE, else Tembra.db of the "
            "program folder."_s,
            u"URL"_s);
    const QCommandLineOption yesOption(u"yes"_s, u"Answer Yes to every question."_s);
    const QCommandLineOption noOption(u"no"_s, u"Answer No to every question."_s);
    const QCommandLineOption quietOption(u"quiet"_s, u"Print nothing on success."_s);
    parser.addOptions({homeOption, databaseOption, yesOption, noOption, quietOption});
    // Options of the save command; they may stand after the command name.
    const QList<QCommandLineOption> saveOptions = {
            QCommandLineOption(u"dif"_s, u"save: write per-type DIF files."_s),
            QCommandLineOption(u"csv"_s, u"save: write CSV files."_s),
            QCommandLineOption(u"zip"_s, u"save: pack the files into one ZIP archive."_s),
            QCommandLineOption(u"types"_s,
                               u"save: the record types to save, comma-separated (default: all)."_s,
                               u"LIST"_s),
            QCommandLineOption(u"ade"_s, u"save: write ICAR ADE JSON collections."_s),
            QCommandLineOption(u"id-scheme"_s,
                               u"save --ade: the identifier scheme of national IDs (default: "
                               "kept in Brindlemark.ini, else each ID's first three letters)."_s,
                               u"SCHEME"_s),
            QCommandLineOption(u"milk-density"_s,
                               u"save --ade: kilograms per litre of milk (default: kept in "
                               "Brindlemark.ini, else 1.03)."_s,
                               u"KG"_s)};
    parser.addOptions(saveOptions);
    // Options of the list command.
    const QList<QCommandLineOption> listOptions
            = {QCommandLineOption(u"sort"_s, u"list: sort by this column."_s, u"FIELD"_s),
               QCommandLineOption(u"desc"_s, u"list: sort in descending order."_s)};
    parser.addOptions(listOptions);
    // Options of the yields command.
    const QList<QCommandLineOption> yieldsOptions
            = {QCommandLineOption(u"tolerance"_s,
                                  u"yields: the difference in percent above which a lactation is "
                                  "flagged (default 10)."_s,
                                  u"PERCENT"_s),
               QCommandLineOption(u"flagged"_s, u"yields: only the flagged lactations."_s)};
    parser.addOptions(yieldsOptions);
    // The problem list of the commands that import.
    const QCommandLineOption problemsOption(
            u"problems"_s,
            u"import, load, merge: write every line and field error to this CSV file."_s,
            u"FILE"_s);
    parser.addOption(problemsOption);
    parser.addPositionalArgument(u"command"_s, u"The command to run."_s);

    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);

    auto usage = [&](const QString &message) {
        err(u"brindlemark-cli: "_s + message);
        err(parser.helpText());
        return 2;
    };

    if (!parser.parse(QCoreApplication::arguments()))
        return usage(parser.errorText());
    if (parser.isSet(u"help"_s)) {
        out(parser.helpText());
        return 0;
    }
    if (parser.isSet(yesOption) && parser.isSet(noOption))
        return usage(u"--yes and --no exclude each other"_s);
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return usage(u"no command given"_s);
    const QString name = positional.takeFirst();
    const auto found = commands().find(name);
    if (found == commands().end())
        return usage(u"unknown command '%1'"_s.arg(name));

    for (const QCommandLineOption &option : saveOptions)
        if (name != u"save"_s && parser.isSet(option))
            return usage(u"--%1 belongs to the save command"_s.arg(option.names().first()));
    for (const QCommandLineOption &option : listOptions)
        if (name != u"list"_s && parser.isSet(option))
            return usage(u"--%1 belongs to the list command"_s.arg(option.names().first()));
    for (const QCommandLineOption &option : yieldsOptions)
        if (name != u"yields"_s && parser.isSet(option))
            return usage(u"--%1 belongs to the yields command"_s.arg(option.names().first()));
    if (parser.isSet(problemsOption) && name != u"import"_s && name != u"load"_s
        && name != u"merge"_s)
        return usage(u"--problems belongs to the import, load and merge commands"_s);

    CliPrompter prompter(parser.isSet(yesOption)  ? CliPrompter::Answer::Yes
                         : parser.isSet(noOption) ? CliPrompter::Answer::No
                                                  : CliPrompter::Answer::Default);
    CliProgress progress;
    // Run in place (the executable's folder holds Defs/) the program folder is that folder;
    // installed, it is the user's data folder, seeded from the installed data files.
    const bm::ProgramFolder folder
            = bm::locateProgramFolder(QCoreApplication::applicationDirPath());
    Context ctx{withSlash(parser.isSet(homeOption) ? parser.value(homeOption) : folder.home),
                folder.dataSource,
                parser.isSet(databaseOption) ? parser.value(databaseOption)
                                             : qEnvironmentVariable("BRINDLEMARK_DATABASE"),
                prompter,
                progress,
                positional,
                parser.isSet(quietOption),
                &parser};
    try {
        // The user's data folder gets the installed data files and a herd database before its
        // first command (init makes them itself and says so).
        if (folder.installed && !parser.isSet(homeOption) && name != u"init"_s)
            bm::seedProgramFolder(ctx.home, folder.dataSource);
        std::optional<bm::FolderLock> lock;
        if (found->second.lock == Lock::NewHome && !QDir().mkpath(ctx.home))
            throw bm::Error(
                    u"Cannot create the folder \"%1\""_s.arg(QDir::toNativeSeparators(ctx.home)));
        if (found->second.lock != Lock::None) {
            lock.emplace(ctx.home);
            bm::removeLeftovers(ctx.home, lock->previousHolderDied());
        }
        // The server's own lock and rights, held on a connection of their own until the end
        // (the command's own steps then take the lock no second time).
        std::optional<bm::db::PgConnection> server;
        if (!ctx.database.isEmpty() && found->second.change != Change::None) {
            server.emplace(ctx.database);
            if (found->second.change == Change::Writes && !server->mayWrite())
                throw bm::Error(u"%1 may only read this herd database."_s.arg(server->user()));
            const QString refusal = server->takeBulkLock(name, QSysInfo::machineHostName());
            if (!refusal.isEmpty())
                throw bm::Error(refusal);
        }
        return found->second.run(ctx);
    } catch (const UsageError &e) {
        return usage(e.message);
    } catch (const bm::Error &e) {
        progress.hide();
        err(u"brindlemark-cli: "_s + bm::errorBoxText(e.message()));
        return 1;
    }
}
