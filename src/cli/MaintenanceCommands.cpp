// The maintenance commands of the command line: clean, trim, list, herdcode and merge. Each makes
// one core call; questions and notices go through the prompter, so without --yes or --no a
// command that deletes or changes rows only says what it would do and answers No.
#include "Cli.h"

#include "Error.h"
#include "FilterQuery.h"
#include "GridModel.h"
#include "Layout.h"
#include "Maintenance.h"
#include "ProblemList.h"
#include "TableExport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace bm::cli {

using namespace Qt::StringLiterals;

namespace {

struct OperatorName
{
    QLatin1StringView name;
    int op;
    int values;
};

const OperatorName kOperators[] = {
        {"eq"_L1, opEqual, 1},    {"lt"_L1, opLess, 1},           {"le"_L1, opLessOrEqual, 1},
        {"gt"_L1, opGreater, 1},  {"ge"_L1, opGreaterOrEqual, 1}, {"between"_L1, opBetween, 2},
        {"empty"_L1, opEmpty, 0}, {"notempty"_L1, opNotEmpty, 0}, {"contains"_L1, opContains, 1},
};

QString operatorNames()
{
    QStringList names;
    for (const OperatorName &o : kOperators)
        names << QString(o.name);
    return names.join(u", "_s);
}

QString recordTypeArg(const QString &table)
{
    if (recordTypeIndex(table) < 0)
        throw UsageError{
                u"'%1' is not a record type (%2)"_s.arg(table, recordTypeCodes().join(u", "_s))};
    return table;
}

QDate dateArg(const QString &text)
{
    const QDate d = QDate::fromString(text, u"yyyy-MM-dd"_s);
    if (!d.isValid())
        throw UsageError{u"'%1' is not a date: write dates as YYYY-MM-DD"_s.arg(text)};
    return d;
}

FieldTypeLookup typeLookup(Tdm &dm, const QString &table)
{
    return [&dm, table](const QString &field) {
        return GetFieldType(dm, table, field);
    };
}

// The filter bar set as `FIELD OP [VALUE [VALUE2]]` says: the values typed as in the bar, dates
// as YYYY-MM-DD. The checks of the Apply button hold.
FilterState filterFrom(Tdm &dm, const QString &table, const QStringList &args)
{
    FilterState s;
    s.table = table;
    if (args.isEmpty())
        return s;
    if (args.size() < 2)
        throw UsageError{u"a filter is FIELD OP [VALUE [VALUE2]]"_s};
    const OperatorName *found = nullptr;
    for (const OperatorName &o : kOperators)
        if (args.at(1) == o.name)
            found = &o;
    if (!found)
        throw UsageError{u"'%1' is not an operator (%2)"_s.arg(args.at(1), operatorNames())};
    if (args.size() - 2 != found->values)
        throw UsageError{u"%1 takes %2 value(s)"_s.arg(found->name).arg(found->values)};

    s.field = args.at(0);
    s.op = found->op;
    s.startTextEnabled = s.startDateEnabled = found->values > 0;
    s.endTextEnabled = s.endDateEnabled = found->values > 1;
    s.dateMode = GetFieldType(dm, table, s.field) == ftDateTime;
    const QString start = args.value(2);
    const QString end = args.value(3);
    if (s.dateMode && found->op != opContains) {
        if (found->values > 0)
            s.startDate = dateArg(start);
        if (found->values > 1)
            s.endDate = dateArg(end);
    } else {
        s.startText = start;
        s.endText = end;
    }
    if (s.dateMode && found->op == opContains)
        s.startDate = QDate(2000, 1, 1); // a date input holds a value; the check refuses it
    const QString problem = checkFilter(s);
    if (!problem.isEmpty())
        throw Error(problem);
    return s;
}

// "<table> <rows> <what>" on stdout for every table whose rows changed, each table once.
void report(const Context &ctx, const QList<Maintenance::TableChange> &changes, const QString &what)
{
    QStringList tables;
    QList<qint64> rows;
    for (const Maintenance::TableChange &c : changes) {
        const qsizetype i = tables.indexOf(c.table);
        if (i < 0) {
            tables << c.table;
            rows << c.rows;
        } else {
            rows[i] += c.rows;
        }
    }
    if (!ctx.quiet) {
        for (qsizetype i = 0; i < tables.size(); ++i)
            if (rows.at(i) > 0)
                out(u"%1 %2 %3"_s.arg(tables.at(i)).arg(rows.at(i)).arg(what));
    }
    if (ctx.prompter.answer() == CliPrompter::Answer::Default)
        err(u"Nothing was changed: without --yes every question is answered No."_s);
}

// Says what a herd-code change or a merge has done, as a question answered like every other.
// `what` words it from the rows and the tables changed.
Maintenance::Confirm confirmWith(Context &ctx,
                                 const std::function<QString(qint64 rows, int tables)> &what)
{
    return [&ctx, what](const QList<Maintenance::TableChange> &changes) {
        qint64 rows = 0;
        int tables = 0;
        for (const Maintenance::TableChange &c : changes) {
            rows += c.rows;
            tables += c.rows > 0 ? 1 : 0;
        }
        return ctx.prompter.askYesNo(what(rows, tables) + u"\r\rDo you wish to continue."_s);
    };
}

} // namespace

int cmdClean(Context &ctx)
{
    if (ctx.args.size() != 1 || (ctx.args.first() != u"102"_s && ctx.args.first() != u"103"_s))
        throw UsageError{u"clean takes 102 or 103"_s};
    ctx.prompter.setDefaultNo();
    Tdm dm(ctx.home);
    dm.setServer(ctx.database);
    dm.ConnectDB(&ctx.progress);
    Maintenance maintenance(dm, ctx.progress, ctx.prompter);
    if (ctx.args.first() == u"102"_s)
        maintenance.RemoveDataForCowsNotIn102();
    else
        maintenance.RemoveCowsNotIn103();
    report(ctx, maintenance.changes(), u"removed"_s);
    return 0;
}

int cmdTrim(Context &ctx)
{
    const QStringList &a = ctx.args;
    if (a.size() < 4 || (a.first() != u"keep"_s && a.first() != u"remove"_s))
        throw UsageError{u"trim takes keep|remove TABLE FIELD OP [VALUE [VALUE2]]"_s};
    const QString table = recordTypeArg(a.at(1));
    ctx.prompter.setDefaultNo();
    Tdm dm(ctx.home);
    dm.setServer(ctx.database);
    dm.ConnectDB(&ctx.progress);
    const FilterQuery query = buildFilterQuery(filterFrom(dm, table, a.mid(2)),
                                               typeLookup(dm, table), dm.connection().caseless());
    Maintenance maintenance(dm, ctx.progress, ctx.prompter);
    if (a.first() == u"keep"_s)
        maintenance.ApplyFilterToCurrentTable(query.table, query.where);
    else
        maintenance.RemoveDisplayedData(query.table, query.where);
    report(ctx, maintenance.changes(), u"removed"_s);
    return 0;
}

int cmdList(Context &ctx)
{
    const QStringList &a = ctx.args;
    if (a.isEmpty())
        throw UsageError{u"list takes TABLE [FIELD OP [VALUE [VALUE2]]]"_s};
    const QString table = recordTypeArg(a.first());
    const bool sorted = ctx.parser->isSet(u"sort"_s);
    if (ctx.parser->isSet(u"desc"_s) && !sorted)
        throw UsageError{u"--desc needs --sort FIELD"_s};
    Tdm dm(ctx.home);
    dm.setServer(ctx.database);
    dm.ConnectDB(&ctx.progress);
    FilterState state = filterFrom(dm, table, a.mid(1));
    if (sorted) {
        state.sort.column = ctx.parser->value(u"sort"_s);
        GetFieldType(dm, table, state.sort.column); // the column must exist
        state.sort.direction = ctx.parser->isSet(u"desc"_s) ? SortDirection::Descending
                                                            : SortDirection::Ascending;
    }
    const FilterQuery query
            = buildFilterQuery(state, typeLookup(dm, table), dm.connection().caseless());
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        throw Error(u"Cannot write to standard output"_s);
    TableExport(dm, ctx.progress).ExportCSV(GridModel::rowsStatement(query), out);
    return 0;
}

int cmdHerdcode(Context &ctx)
{
    if (ctx.args.size() != 1 || ctx.args.first().isEmpty())
        throw UsageError{u"herdcode takes one herd code"_s};
    const QString code = ctx.args.first();
    ctx.prompter.setDefaultNo();
    ctx.prompter.setChoice(code);
    Tdm dm(ctx.home);
    dm.setServer(ctx.database);
    dm.ConnectDB(&ctx.progress);
    Maintenance maintenance(dm, ctx.progress, ctx.prompter);
    maintenance.setConfirm(confirmWith(ctx, [&](qint64 rows, int tables) {
        return u"This will set the herd code to %1 in %2 records of %3 files."_s
                .arg(Maintenance::herdcodeOf(code))
                .arg(rows)
                .arg(tables);
    }));
    maintenance.ChangeHerdcode(QString());
    if (code.size() > 7)
        return 1; // refused, with its message
    report(ctx, maintenance.changes(), u"changed"_s);
    return 0;
}

int cmdMerge(Context &ctx)
{
    if (ctx.args.size() != 1)
        throw UsageError{u"merge takes one file"_s};
    ctx.prompter.setDefaultNo();
    ctx.prompter.setChoice(QFileInfo(ctx.args.first()).absoluteFilePath());
    Tdm dm(ctx.home);
    dm.setServer(ctx.database);
    dm.ConnectDB(&ctx.progress);
    Maintenance maintenance(dm, ctx.progress, ctx.prompter);
    maintenance.setConfirm(confirmWith(ctx, [&](qint64 rows, int tables) {
        return u"This will give %1 records of %2 files the national IDs of %3."_s.arg(rows)
                .arg(tables)
                .arg(QDir::toNativeSeparators(maintenance.mergeFile()));
    }));
    ProblemList problems;
    maintenance.setProblems(&problems);
    withProblems(
            ctx, problems, [&] { maintenance.MergeNationalIDs(QString()); },
            u"The merge ended as told above"_s);
    if (!QFileInfo(maintenance.mergeFile()).isFile())
        return 1; // "DIF 102 does not exist."
    report(ctx, maintenance.changes(), u"changed"_s);
    return 0;
}

} // namespace bm::cli
