#include "GuiFixture.h"

#include "Loader.h"

#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace bm::gui;

namespace {

void clickFileCheck(MainWindowFixture &f)
{
    f.clickFileMenu("Analyse1");
}

// The window's lines, each run's first line (its name and time) as "File Check of <time>".
QStringList memoLines(const TfrmFileCheck &w)
{
    static const QRegularExpression header(u"^File Check of .+ \\d\\d:\\d\\d:\\d\\d$"_s);
    QStringList lines = w.mOutput->toPlainText().split(u'\n');
    for (QString &line : lines) {
        if (header.match(line).hasMatch())
            line = u"File Check of <time>"_s;
    }
    return lines;
}

const QString kRun = u"File Check of <time>"_s;

} // namespace

class FileCheckTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void windowLooksAsDesigned();
    void findingsShowTheWindowAndEveryRunAppends();
    void nothingFoundSaysSoAndAStopShowsTheError();
    void eventsRunBetweenLinesAndClosingWaitsForTheRun();
    void windowAndCommandLineGetTheSameLines();
};

void FileCheckTest::windowLooksAsDesigned()
{
    MainWindowFixture f;
    TfrmFileCheck &w = f.frmFileCheck;
    QCOMPARE(w.objectName(), u"frmFileCheck"_s);
    QVERIFY(!w.isVisible());
    QVERIFY(w.isWindow());
    QCOMPARE(w.windowTitle(), u"File Check"_s);
    QCOMPARE(w.size(), QSize(488, 435));
    QCOMPARE(w.palette().color(QPalette::Window), QColor(255, 255, 230));
    QCOMPARE(w.font().family(), u"Tahoma"_s);
    QCOMPARE(w.font().pixelSize(), 11);

    QCOMPARE(w.lblTitle->text(), u"Corvelle Brindlemark File Check"_s);
    QCOMPARE(w.lblTitle->pos(), QPoint(8, 8));
    QCOMPARE(w.lblTitle->font().family(), u"Arial"_s);
    QCOMPARE(w.lblTitle->font().pixelSize(), 24);
    QVERIFY(w.lblTitle->font().bold());
    QCOMPARE(w.lblTitle->palette().color(QPalette::WindowText), QColor(0, 111, 0));
    QVERIFY(!w.lblTitle->autoFillBackground());
    QVERIFY(w.lblTitle->geometry().right() < w.width());

    QCOMPARE(w.mOutput->geometry(), QRect(8, 43, 473, 382));
    QCOMPARE(w.mOutput->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(w.mOutput->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(w.mOutput->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QVERIFY(!w.mOutput->isReadOnly());
    QVERIFY(w.mOutput->toPlainText().isEmpty());

    // As it paints: the cream background, the green title, the white text box.
    const QImage picture = w.grab().toImage();
    QCOMPARE(picture.size(), QSize(488, 435) * picture.devicePixelRatio());
    QCOMPARE(picture.pixelColor(2, 2), QColor(255, 255, 230));
    QCOMPARE(picture.pixelColor(200, 200), QColor(Qt::white));
    bool green = false;
    for (int x = 8; x < w.lblTitle->geometry().right() && !green; ++x)
        for (int y = 8; y < 40 && !green; ++y)
            green = picture.pixelColor(x, y) == QColor(0, 111, 0);
    QVERIFY(green);

    // It opens in the middle of the screen (the main window is not shown); the text box grows
    // with the window.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(w.geometry().center(), w.screen()->availableGeometry().center());
    w.resize(600, 500);
    QTRY_COMPARE(w.mOutput->geometry(), QRect(8, 43, 585, 447));
}

void FileCheckTest::findingsShowTheWindowAndEveryRunAppends()
{
    MainWindowFixture f;
    f.home.write(u"FileCheck.SQL"_s,
                 "/ Herds and their owners\r\n"
                 "/! Herds !/ SELECT HerdCode, OwnerName FROM [101] ORDER BY HerdCode\r\n"
                 "/! Nothing !/ SELECT * FROM [102]\r\n");
    f.home.dm().exec(uR"(INSERT INTO "101" (HerdCode, OwnerName) VALUES
                         ('H2', 'Smith, J'), ('H1', NULL))"_s);
    QVERIFY(f.show());
    QVERIFY(f.child<QAction>("Analyse1")->isEnabled());

    clickFileCheck(f);
    const QStringList once{kRun, u"Herds "_s, u"HerdCode,OwnerName"_s, u"H1,"_s, u"H2,Smith, J"_s};
    QTRY_VERIFY(f.frmFileCheck.isVisible());
    QCOMPARE(f.frmFileCheck.windowModality(), Qt::NonModal);
    QCOMPARE(memoLines(f.frmFileCheck), once);
    QVERIFY(f.prompter.errors.isEmpty());
    QCOMPARE(f.frmMain.message(), u"File Check: 1 check found rows"_s);

    // Closing only hides it; the next run shows it again below the text it had, a blank line
    // and its own first line apart.
    f.frmFileCheck.close();
    QVERIFY(!f.frmFileCheck.isVisible());
    clickFileCheck(f);
    QTRY_VERIFY(f.frmFileCheck.isVisible());
    QCOMPARE(memoLines(f.frmFileCheck), once + QStringList{QString()} + once);
    QVERIFY(f.child<QAction>("Analyse1")->isEnabled());
}

void FileCheckTest::nothingFoundSaysSoAndAStopShowsTheError()
{
    MainWindowFixture f;
    QVERIFY(f.show());

    // No script: the error box, and the run's lines say it stopped.
    clickFileCheck(f);
    QTRY_COMPARE(f.prompter.errors.size(), 1);
    QVERIFY(f.prompter.errors.first().contains(u"FileCheck.SQL"_s));
    QCOMPARE(memoLines(f.frmFileCheck),
             (QStringList{kRun, u"The run stopped: "_s + f.prompter.errors.first()}));
    f.frmFileCheck.close();

    // Comments and fixes only: each fix that ran says what it changed, the run says it found
    // nothing, and the grid lists the row the fix added.
    f.home.write(u"FileCheck.SQL"_s,
                 "/ a fix\nINSERT INTO [101] (HerdCode) VALUES ('H9')\n /! T !/ SELECT 1\n");
    QCOMPARE(f.status(), u"Herd  :  0  Records Listed"_s);
    clickFileCheck(f);
    QCOMPARE(f.prompter.errors.size(), 1);
    QTRY_VERIFY(f.frmFileCheck.isVisible());
    QCOMPARE(memoLines(f.frmFileCheck).mid(3),
             (QStringList{kRun, u"Fix on line 2: 1 row changed"_s, u"No check found any rows."_s}));
    QCOMPARE(f.home.rows(uR"(SELECT HerdCode FROM "101")"_s), QStringList{u"H9"_s});
    QCOMPARE(f.status(), u"Herd  :  1  Records Listed"_s);
    QCOMPARE(f.shown(u"HerdCode"_s), QStringList{u"H9"_s});
    QCOMPARE(f.frmMain.message(), u"File Check: no check found any rows"_s);

    // A check that cannot run stops the run there; what was written stays.
    f.home.write(u"FileCheck.SQL"_s, "/! Herds!/ SELECT HerdCode FROM [101]\n/! Bad!/SELECT 1\n"
                                     "DELETE FROM [101]\n");
    clickFileCheck(f);
    QTRY_COMPARE(f.prompter.errors.size(), 2);
    QCOMPARE(f.prompter.errors.last(), u"Line 2 of FileCheck.SQL: near \"ELECT\": syntax error"_s);
    QVERIFY(f.frmFileCheck.isVisible());
    QCOMPARE(memoLines(f.frmFileCheck).mid(7),
             (QStringList{kRun, u"Herds"_s, u"HerdCode"_s, u"H9"_s,
                          u"The run stopped: "_s + f.prompter.errors.last()}));
    QCOMPARE(f.home.rows(uR"(SELECT HerdCode FROM "101")"_s), QStringList{u"H9"_s});
}

void FileCheckTest::eventsRunBetweenLinesAndClosingWaitsForTheRun()
{
    MainWindowFixture f;
    f.home.write(u"FileCheck.SQL"_s, "/! First!/ SELECT 1 AS One\n/! Second!/ SELECT 2 AS Two\n");
    QVERIFY(f.show());

    // Once the first check has written its lines, a timer is started; it can only fire when
    // the run lets events through, and it closes the main window.
    QStringList seen;
    bool runningWhenSeen = false;
    bool commandOffWhenSeen = false;
    QMetaObject::Connection once;
    once = connect(f.frmFileCheck.mOutput, &QPlainTextEdit::textChanged, this, [&] {
        disconnect(once);
        QTimer::singleShot(0, this, [&] {
            seen = memoLines(f.frmFileCheck);
            runningWhenSeen = f.frmMain.fileCheckRunning();
            commandOffWhenSeen = !f.child<QAction>("Analyse1")->isEnabled();
            f.frmMain.close();
        });
    });
    clickFileCheck(f);
    QTRY_VERIFY(!seen.isEmpty());
    QCOMPARE(seen, (QStringList{kRun, u"First"_s, u"One"_s, u"1"_s}));
    QVERIFY(runningWhenSeen);
    QVERIFY(commandOffWhenSeen);
    // The run ended after the line it was on; then the window closed and the connection with it.
    QCOMPARE(memoLines(f.frmFileCheck), seen);
    QTRY_VERIFY(!f.frmMain.isVisible());
    QVERIFY(!f.dm.isOpen());
    QVERIFY(f.prompter.errors.isEmpty());
}

void FileCheckTest::windowAndCommandLineGetTheSameLines()
{
    MainWindowFixture f;
    QFile::copy(bm::test::sourceDataDir() + u"FileCheck.SQL"_s, f.home.path() + u"FileCheck.SQL"_s);
    bm::NullProgress progress;
    bm::Loader(f.home.dm(), progress, f.prompter)
            .load(QStringLiteral(BM_SOURCE_DIR "/samples/herd.DIF"));
    f.home.dm().exec(uR"(UPDATE "104" SET Milk = 85.25 WHERE rowid = 5;
                         UPDATE "104" SET FatPercent = NULL, ProteinPercent = 6.5 WHERE rowid = 6;
                         UPDATE "102" SET NationalID = NULL WHERE rowid = 2)"_s);
    QVERIFY(f.show());
    clickFileCheck(f);
    QTRY_VERIFY(f.frmFileCheck.isVisible());
    QVERIFY(f.prompter.errors.isEmpty());
    const QStringList shown = memoLines(f.frmFileCheck).mid(1); // after the run's own line
    QCOMPARE(shown.size(), 9);                                  // three checks with one row each

    // The window holds the program folder while it is open: the command line runs after it.
    f.frmMain.close();
    QVERIFY(!bm::test::isLocked(f.home.path()));
    const bm::test::ProcessResult r = bm::test::runProgram(
            QStringLiteral(BM_CLI_PATH), {u"--home"_s, f.home.path(), u"check"_s});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out.split(u'\n', Qt::SkipEmptyParts), shown);
}

QTEST_MAIN(FileCheckTest)
#include "FileCheckTest.moc"
