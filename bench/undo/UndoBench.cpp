// bm-bench-undo --home DIR
//
// Keeps the state of the herd database of DIR for undo, as a bulk command does before its
// transaction begins (the online backup into a pending copy in DIR), and prints the seconds that
// took and the bytes of the copy. The copy is thrown away at the end, as a command that changes
// nothing does.
#include "Error.h"
#include "ProgressSink.h"
#include "Tdm.h"
#include "Undo.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption home(u"home"_s, u"Program folder."_s, u"DIR"_s);
    parser.addOption(home);
    parser.process(app);
    if (!parser.isSet(home))
        parser.showHelp(2);

    try {
        bm::Tdm dm(QDir(parser.value(home)).absolutePath() + u'/');
        dm.ConnectDB();
        bm::NullProgress progress;
        QElapsedTimer timer;
        timer.start();
        const bm::UndoPoint point(dm, progress, u"Benchmark"_s);
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        std::printf("%.3f\n", seconds);
    } catch (const bm::Error &e) {
        std::fprintf(stderr, "bm-bench-undo: %s\n", e.what());
        return 1;
    }
    return 0;
}
