// brindlemark-gen: writes a deterministic, coherent herd-recording data set in DIF through the
// record layouts of a home folder's Defs/.
#include "Generator.h"

#include "Error.h"
#include "Layout.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace {

[[noreturn]] void usageError(const QString &message)
{
    std::fprintf(stderr, "brindlemark-gen: %s\n", qPrintable(message));
    std::fprintf(stderr, "Try 'brindlemark-gen --help'.\n");
    std::exit(2);
}

qint64 positive(const QCommandLineParser &parser, const QString &name, qint64 max)
{
    bool ok = false;
    const qint64 value = parser.value(name).toLongLong(&ok);
    if (!ok || value < 0 || value > max)
        usageError(u"--%1 takes a whole number from 0 to %2"_s.arg(name).arg(max));
    return value;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"brindlemark-gen"_s);

    QCommandLineParser parser;
    parser.setApplicationDescription(
            u"Writes a sample herd-recording data set in DIF: herds (101), cow pedigrees (102), "
            "lactations (103), test days (104), bull pedigrees (105), workability (106), herd "
            "tests (107), matings and pregnancy tests (108), calvings (112), conformation (114) "
            "and breeding values (202, 211). The same options always give the same files."_s);
    parser.addHelpOption();
    parser.addOptions({
            {u"home"_s,
             u"Folder holding Defs/ with the record layouts (default: the program's "
             "folder)."_s,
             u"dir"_s},
            {u"seed"_s, u"Seed of the data set (default 20150630)."_s, u"n"_s, u"20150630"_s},
            {u"lines"_s, u"About this many lines in all (default 1000)."_s, u"n"_s},
            {u"test-days"_s,
             u"Exactly this many test-day (104) records; the data set ends "
             "there."_s,
             u"n"_s},
            {u"out-stem"_s, u"Write one file per record type: <stem>.101 ... <stem>.211."_s,
             u"stem"_s},
            {u"combined"_s, u"Write every record type into one file, grouped by herd and cow."_s,
             u"file"_s},
            {u"only"_s, u"Write only these record types (comma-separated codes, e.g. 104)."_s,
             u"codes"_s},
            {u"faults"_s, u"Plant this many faults of each kind and print their counts."_s, u"n"_s},
    });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        usageError(u"unexpected argument \"%1\""_s.arg(parser.positionalArguments().first()));

    gen::Output::Options out;
    QString home = parser.isSet(u"home"_s) ? parser.value(u"home"_s)
                                           : QCoreApplication::applicationDirPath();
    if (!home.endsWith(u'/'))
        home += u'/';
    out.home = home;
    out.stem = parser.value(u"out-stem"_s);
    out.combined = parser.value(u"combined"_s);
    if (out.stem.isEmpty() && out.combined.isEmpty())
        usageError(u"give --out-stem, --combined or both"_s);
    out.wanted.fill(!parser.isSet(u"only"_s));
    if (parser.isSet(u"only"_s)) {
        for (const QString &code : parser.value(u"only"_s).split(u',', Qt::SkipEmptyParts)) {
            const int index = bm::recordTypeIndex(code.trimmed());
            if (index < 0)
                usageError(u"--only: \"%1\" is not a record type"_s.arg(code));
            out.wanted[std::size_t(index)] = true;
        }
    }

    gen::Options options;
    bool seedOk = false;
    options.seed = parser.value(u"seed"_s).toULongLong(&seedOk);
    if (!seedOk)
        usageError(u"--seed takes a whole number"_s);
    if (parser.isSet(u"lines"_s) && parser.isSet(u"test-days"_s))
        usageError(u"give --lines or --test-days, not both"_s);
    if (parser.isSet(u"lines"_s))
        options.lines = positive(parser, u"lines"_s, 100'000'000);
    if (parser.isSet(u"test-days"_s))
        options.testDays = positive(parser, u"test-days"_s, 100'000'000);
    if (parser.isSet(u"faults"_s))
        options.faults = int(positive(parser, u"faults"_s, 100'000));

    try {
        gen::Output output(out);
        gen::Generator generator(output, options);
        generator.run();
        output.commit();

        QTextStream stdOut(stdout);
        for (int t = 0; t < gen::TypeCount; ++t) {
            if (output.wanted(t))
                stdOut << "lines " << gen::Output::code(t) << ' ' << output.written(t) << '\n';
        }
        stdOut << "lines total " << output.totalWritten() << '\n';
        if (options.faults > 0) {
            const gen::FaultCounts &f = generator.faults();
            stdOut << "faults cows-not-in-102 " << f.cowsNotIn102 << '\n';
            for (int t = 0; t < gen::TypeCount; ++t) {
                if (t != gen::T102 && f.recordsOfCowsNotIn102[std::size_t(t)] > 0)
                    stdOut << "faults " << gen::Output::code(t) << "-of-cows-not-in-102 "
                           << f.recordsOfCowsNotIn102[std::size_t(t)] << '\n';
            }
            stdOut << "faults 104-without-103 " << f.testDaysWithout103 << '\n';
            stdOut << "faults 104-without-103-blank-calving-date " << f.testDaysWithoutCalvingDate
                   << '\n';
            stdOut << "faults 104-milk-above-99 " << f.milkAbove99 << '\n';
            stdOut << "faults 104-fat-percent-0 " << f.fatPercentZero << '\n';
            stdOut << "faults 104-out-of-range " << f.milkAbove99 + f.fatPercentZero << '\n';
            stdOut.flush();
            const int fewest = std::min(
                    {f.cowsNotIn102, f.testDaysWithout103, f.milkAbove99 + f.fatPercentZero});
            if (fewest < options.faults)
                std::fprintf(stderr,
                             "brindlemark-gen: the data set holds room for only %d faults of "
                             "some kind; the counts above are the faults planted\n",
                             fewest);
        }
        stdOut << "info 102-without-103 " << generator.pedigreesWithout103() << '\n';
    } catch (const bm::Error &e) {
        std::fprintf(stderr, "brindlemark-gen: %s\n", e.what());
        return 1;
    }
    return 0;
}
