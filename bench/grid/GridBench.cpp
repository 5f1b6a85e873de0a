// bm-bench-grid --home DIR --table CODE [--sort COLUMN [--desc]] [--shown N] [--last] [--sql]
//
// Does what the main window does when it re-queries a table: builds the browse statement from
// the filter bar's state (here: a table and a sort column, as a title click leaves them), runs
// it through the grid's model (row count and first page), and reads the cells of the first N
// rows as the grid shows them. With --last it then reads the last row too, as a jump to the end
// of the grid does. Prints the row count and a checksum of the texts read. With --sql it prints
// the statements the model runs instead (one per line), for the reference run.
#include "Error.h"
#include "FilterQuery.h"
#include "GridModel.h"
#include "Tdm.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption home(u"home"_s, u"Program folder."_s, u"DIR"_s);
    const QCommandLineOption table(u"table"_s, u"Record type."_s, u"CODE"_s, u"104"_s);
    const QCommandLineOption sort(u"sort"_s, u"Sort column."_s, u"COLUMN"_s);
    const QCommandLineOption desc(u"desc"_s, u"Sort descending."_s);
    const QCommandLineOption shown(u"shown"_s, u"Rows shown."_s, u"N"_s, u"40"_s);
    const QCommandLineOption last(u"last"_s, u"Read the last row too."_s);
    const QCommandLineOption sql(u"sql"_s, u"Print the statements instead."_s);
    parser.addOptions({home, table, sort, desc, shown, last, sql});
    parser.process(app);
    if (!parser.isSet(home))
        parser.showHelp(2);

    try {
        bm::Tdm dm(QDir(parser.value(home)).absolutePath() + u'/');
        dm.ConnectDB();
        bm::FilterState state;
        state.table = parser.value(table);
        if (parser.isSet(sort))
            state.sort = {parser.value(sort), parser.isSet(desc) ? bm::SortDirection::Descending
                                                                 : bm::SortDirection::Ascending};
        const bm::FilterQuery query = bm::buildFilterQuery(
                state,
                [&](const QString &field) { return bm::GetFieldType(dm, state.table, field); },
                dm.connection().caseless());
        if (parser.isSet(sql)) {
            for (const QString &statement : bm::GridModel::statements(query, parser.isSet(last)))
                std::printf("%s;\n", qPrintable(statement));
            return 0;
        }
        bm::GridModel model(dm);
        model.setQuery(query);
        const int rows = std::min(model.rowCount(), parser.value(shown).toInt());
        size_t checksum = 0;
        auto read = [&](int row) {
            for (int c = 0; c < model.columnCount(); ++c)
                checksum += qHash(model.index(row, c).data().toString());
        };
        for (int r = 0; r < rows; ++r)
            read(r);
        if (parser.isSet(last) && model.rowCount() > 0)
            read(model.rowCount() - 1);
        std::printf("%d rows, checksum %zx\n", model.rowCount(), checksum);
    } catch (const bm::Error &e) {
        std::fprintf(stderr, "bm-bench-grid: %s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
