#include "GuiFixture.h"

#include "Loader.h"
#include "ProblemList.h"
#include "TfrmHerdSummary.h"
#include "TfrmLactationCurves.h"

#include <QAbstractButton>
#include <QChart>
#include <QChartView>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace bm::gui;

// Every window of the program on a screen of 800 x 600 pixels (the offscreen platform set up
// with one screen of that size, its windows with frames): each opens with its frame inside the
// screen, shows its buttons and tick boxes whole, and can be made smaller than the screen.
class WindowFitTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void everyWindowFitsASmallScreen();
    void escapeClosesTheChartAndProblemWindows();
};

namespace {

QRect screenArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

// The window's frame lies inside the screen, and every button and tick box inside the window.
void checkFits(QWidget *w)
{
    QVERIFY2(w->isVisible(), qPrintable(w->objectName()));
    QVERIFY2(screenArea().contains(w->frameGeometry()),
             qPrintable(u"%1: frame %2,%3 %4x%5"_s.arg(w->objectName())
                                .arg(w->frameGeometry().x())
                                .arg(w->frameGeometry().y())
                                .arg(w->frameGeometry().width())
                                .arg(w->frameGeometry().height())));
    QVERIFY2(w->minimumWidth() <= screenArea().width()
                     && w->minimumHeight() <= screenArea().height(),
             qPrintable(w->objectName()));
    for (QAbstractButton *b : w->findChildren<QAbstractButton *>()) {
        if (!b->isVisibleTo(w) || b->window() != w)
            continue;
        const QRect inWindow(b->mapTo(w, QPoint()), b->size());
        QVERIFY2(w->rect().contains(inWindow), qPrintable(w->objectName() + u": "_s + b->text()));
    }
}

// The sample data set loaded, the main window shown on table 104.
void loadSample(MainWindowFixture &f)
{
    bm::NullProgress progress;
    bm::Loader(f.home.dm(), progress, f.prompter)
            .load(QStringLiteral(BM_SOURCE_DIR "/samples/herd.zip"));
    f.frmMain.showMaximized();
    QVERIFY(QTest::qWaitForWindowExposed(&f.frmMain));
    f.clickTab(u"104"_s);
    QTRY_COMPARE(f.frmMain.currentTable(), u"104"_s);
    f.clickCell(0, u"CowID"_s);
}

void showProblems(MainWindowFixture &f)
{
    bm::ProblemList problems;
    problems.add({u"herd.104"_s,
                  2,
                  u"104"_s,
                  u"DaysInMilk"_s,
                  u"x1"_s,
                  u"Not a number"_s,
                  u"the line was left out"_s,
                  {}});
    f.program.frmProblems.showProblems(u"Load Files \"herd.104\""_s, std::move(problems));
    QVERIFY(QTest::qWaitForWindowExposed(&f.program.frmProblems));
}

} // namespace

void WindowFitTest::initTestCase()
{
    QCOMPARE(screenArea().size(), QSize(800, 600));
}

void WindowFitTest::everyWindowFitsASmallScreen()
{
    MainWindowFixture f;
    loadSample(f);
    checkFits(&f.frmMain);
    // Restored from maximised, the window is no larger than the screen either.
    TfrmMain restored;
    QVERIFY(restored.width() < screenArea().width() && restored.height() < screenArea().height());

    f.frmMain.LactationCurves1Click();
    f.frmMain.HerdSummary1Click();
    showProblems(f);
    f.frmFileCheck.show();
    f.frmAbout.show();
    f.frmProgress.show();
    f.frmSaveFiles.show();
    for (QWidget *w : std::initializer_list<QWidget *>{
                 f.frmMain.frmLactationCurves(), f.frmMain.frmHerdSummary(), &f.program.frmProblems,
                 &f.frmFileCheck, &f.frmAbout, &f.frmProgress, &f.frmSaveFiles}) {
        QVERIFY(w);
        QVERIFY(QTest::qWaitForWindowExposed(w));
        checkFits(w);
    }
    f.frmSaveFiles.hide();
    f.frmProgress.hide();

    // The charts keep their right-hand axes: the plot leaves room for them inside the view.
    for (ChartWindow *w : std::initializer_list<ChartWindow *>{f.frmMain.frmLactationCurves(),
                                                               f.frmMain.frmHerdSummary()}) {
        const QRectF plot = w->chart()->plotArea();
        QVERIFY2(plot.right() + 20 < w->chartView->width(), qPrintable(w->windowTitle()));
    }

    // A window moved partly off the screen and shown again comes back inside it.
    TfrmProblems &problems = f.program.frmProblems;
    problems.hide();
    problems.move(-300, 400);
    problems.show();
    QVERIFY(QTest::qWaitForWindowExposed(&problems));
    checkFits(&problems);
}

void WindowFitTest::escapeClosesTheChartAndProblemWindows()
{
    MainWindowFixture f;
    loadSample(f);
    f.frmMain.LactationCurves1Click();
    f.frmMain.HerdSummary1Click();
    showProblems(f);
    for (QWidget *w :
         std::initializer_list<QWidget *>{f.frmMain.frmLactationCurves(),
                                          f.frmMain.frmHerdSummary(), &f.program.frmProblems}) {
        QTest::qWait(50); // the activations of the windows opened before have settled
        w->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), w);
        QWidget *focus = QApplication::focusWidget();
        QTest::keyClick(focus && focus->window() == w ? focus : w, Qt::Key_Escape);
        QTRY_VERIFY2(!w->isVisible(), qPrintable(w->objectName()));
    }
    QVERIFY(f.frmMain.isVisible());
}

// The offscreen platform with one screen of 800 x 600 pixels.
int main(int argc, char *argv[])
{
    QTemporaryDir dir;
    const QString config = dir.filePath(u"screen.json"_s);
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(R"({"windowFrameMargins": true, "screens": [{"name": "small", "x": 0,
                          "y": 0, "width": 800, "height": 600, "logicalDpi": 96,
                          "logicalBaseDpi": 96, "dpr": 1}]})")
                   < 0)
        return 1;
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
    QApplication app(argc, argv);
    WindowFitTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "WindowFitTest.moc"
