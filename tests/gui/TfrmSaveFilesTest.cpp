#include "TfrmSaveFiles.h"
#include "GuiFixture.h"
#include "Importer.h"
#include "Layout.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace Qt::StringLiterals;
using namespace bm::gui;

// The Select Files dialog driven by clicks on its own controls; the save-file dialog and the
// message boxes are answered by a scripted prompter.
// Clicks the tick box of the entry of a record type.
static void tickEntry(TfrmSaveFiles &dialog, const QString &code)
{
    QListWidget *list = dialog.clbFiles;
    const QList<QListWidgetItem *> found = list->findItems(code + u" - "_s, Qt::MatchStartsWith);
    QCOMPARE(found.size(), 1);
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.rect = list->visualItemRect(found.first());
    option.features |= QStyleOptionViewItem::HasCheckIndicator;
    const QRect box
            = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
}

class TfrmSaveFilesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void ticksAndSavesCsvBesideTheChosenFile();
    void choicesAndTicksStayForTheNextOpening();
    void nothingTickedKeepsTheDialogOpen();
    void cancelInTheFileDialogComesBackToTheTicks();
    void replacingFilesIsAskedOnce();
    void errorIsShownAndTheDialogCloses();
    void everyEntryIsWhollyVisible();
    void fileMenuOpensTheDialogAndTheStatusLineTellsWhatWasSaved();
    void offersTheDataSetLoadedInItsFolder();
    void progressWindowIsUpFromTheFirstMomentOfTheSave();

private:
    // What the main window's Save Files command does before showing the dialog.
    void open();
    void tick(const QString &code) { tickEntry(*m_dialog, code); }
    QString outDir() const { return m_home->path() + u"out/"_s; }

    std::unique_ptr<bm::test::TestHome> m_home;
    std::unique_ptr<bm::test::ScriptedPrompter> m_prompter;
    std::unique_ptr<bm::test::RecordingProgress> m_progress;
    std::unique_ptr<TfrmSaveFiles> m_dialog;
};

namespace {

// Opens Select Files from the File menu and acts on it from inside its own event loop.
void openFromMenu(MainWindowFixture &f, const std::function<void(TfrmSaveFiles &)> &inside)
{
    f.clickButton("btnActions");
    auto *menu = f.child<QMenu>("pumActions");
    QTRY_VERIFY(menu->isVisible());
    QTimer::singleShot(0, &f.frmSaveFiles, [&f, inside] {
        inside(f.frmSaveFiles);
        if (f.frmSaveFiles.isVisible())
            f.frmSaveFiles.reject();
    });
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(f.child<QAction>("SaveFiles1")).center());
    QTRY_VERIFY(!f.frmSaveFiles.isVisible());
}

} // namespace

void TfrmSaveFilesTest::init()
{
    m_home = std::make_unique<bm::test::TestHome>();
    m_prompter = std::make_unique<bm::test::ScriptedPrompter>();
    m_progress = std::make_unique<bm::test::RecordingProgress>();
    QDir().mkpath(outDir());
    bm::Importer importer(m_home->dm(), *m_progress, *m_prompter);
    for (const QString &code : {u"101"_s, u"103"_s, u"104"_s}) {
        const QString file = bm::test::testDataDir() + u"roundtrip/herd."_s + code;
        importer.importTypeFile(file, code);
    }
    m_progress->hide();
    m_dialog = std::make_unique<TfrmSaveFiles>(m_home->dm(), *m_progress, *m_prompter);
}

void TfrmSaveFilesTest::cleanup()
{
    m_dialog.reset();
    m_progress.reset();
    m_prompter.reset();
    m_home.reset();
}

void TfrmSaveFilesTest::open()
{
    m_dialog->clearEntries();
    for (const bm::RecordType &t : bm::recordTypes())
        m_dialog->addEntry(t.code + u" - "_s + bm::displayDescription(t.description));
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog.get()));
}

void TfrmSaveFilesTest::ticksAndSavesCsvBesideTheChosenFile()
{
    open();
    QCOMPARE(m_dialog->windowTitle(), u"Select Files"_s);
    QCOMPARE(m_dialog->clbFiles->count(), 12);
    QCOMPARE(m_dialog->clbFiles->item(7)->text(), u"108 - Mating & Preg Test"_s);
    QVERIFY(m_dialog->rbDIF->isChecked());

    tick(u"104"_s);
    tick(u"101"_s);
    QCOMPARE(m_dialog->clbFiles->item(0)->checkState(), Qt::Checked);
    QTest::mouseClick(m_dialog->rbCSV, Qt::LeftButton);
    m_prompter->choices.push_back(outDir() + u"herd.csv"_s);
    QTest::mouseClick(m_dialog->btnSave, Qt::LeftButton);

    QCOMPARE(m_prompter->filters, QStringList{u"csv File (*.csv)"_s});
    QVERIFY(m_prompter->errors.isEmpty());
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(m_dialog->result(), int(QDialog::Accepted));
    QCOMPARE(QDir(outDir()).entryList(QDir::Files),
             (QStringList{u"herd_101.csv"_s, u"herd_104.csv"_s}));
    QFile csv(outDir() + u"herd_104.csv"_s);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QVERIFY(csv.readLine().startsWith("RecordType,VersionNo,HerdCode,"));
    QVERIFY(!m_progress->isVisible());
    QVERIFY(!QApplication::overrideCursor());
}

void TfrmSaveFilesTest::choicesAndTicksStayForTheNextOpening()
{
    open();
    QTest::mouseClick(m_dialog->rbCSV, Qt::LeftButton);
    QTest::mouseClick(m_dialog->ckbZip, Qt::LeftButton);
    QTest::mouseClick(m_dialog->btnSelectAll, Qt::LeftButton);
    QTest::mouseClick(m_dialog->btnClearAll, Qt::LeftButton);
    tick(u"103"_s);
    m_prompter->choices.push_back(outDir() + u"first.zip"_s);
    QTest::mouseClick(m_dialog->btnSave, Qt::LeftButton);
    QVERIFY(QFile::exists(outDir() + u"first.zip"_s));
    // Packed and gone from the scratch folder.
    QCOMPARE(QDir(m_home->path() + u"Scratch"_s).entryList(QDir::Files), QStringList{});

    open();
    QVERIFY(m_dialog->rbCSV->isChecked());
    QVERIFY(m_dialog->ckbZip->isChecked());
    QStringList ticked;
    for (int i = 0; i < m_dialog->clbFiles->count(); ++i)
        if (m_dialog->clbFiles->item(i)->checkState() == Qt::Checked)
            ticked << m_dialog->clbFiles->item(i)->text().left(3);
    QCOMPARE(ticked, QStringList{u"103"_s});

    QTest::mouseClick(m_dialog->rbDIF, Qt::LeftButton);
    QTest::mouseClick(m_dialog->btnSelectAll, Qt::LeftButton);
    m_prompter->choices.push_back(outDir() + u"herd.zip"_s);
    QTest::mouseClick(m_dialog->btnSave, Qt::LeftButton);
    QCOMPARE(m_prompter->filters.last(), u"zip File (*.zip)"_s);
    QCOMPARE(m_prompter->initials.last(), outDir() + u"first.zip"_s);
    QVERIFY(m_prompter->errors.isEmpty());
    // Only the three tables with rows have a file to pack.
    const bm::test::ProcessResult listing
            = bm::test::runProgram(u"unzip"_s, {u"-Z1"_s, outDir() + u"herd.zip"_s});
    QCOMPARE(listing.out, u"herd.101\nherd.103\nherd.104\n"_s);
    QCOMPARE(bm::test::runProgram(u"unzip"_s, {u"-tq"_s, outDir() + u"herd.zip"_s}).exitCode, 0);

    // Unzipped DIF files: the name offered has no ".zip".
    open();
    QTest::mouseClick(m_dialog->ckbZip, Qt::LeftButton);
    m_prompter->choices.push_back(outDir() + u"plain"_s);
    QTest::mouseClick(m_dialog->btnSave, Qt::LeftButton);
    QCOMPARE(m_prompter->initials.last(), outDir() + u"herd"_s);
    QVERIFY(QFile::exists(outDir() + u"plain.104"_s));
}

void TfrmSaveFilesTest::nothingTickedKeepsTheDialogOpen()
{
    open();
    QTest::mouseClick(m_dialog->btnSave, Qt::LeftButton);
    QCOMPARE(m_prompter->notices.size(), 1);
    QVERIFY(m_prompter->filters.isEmpty());
    QVERIFY(m_dialog->isVisible());
    QTest::mouseClick(m_dialog->btnCancel, Qt::LeftButton);
}

void TfrmSaveFilesTest::cancelInTheFileDialogComesBackToTheTicks()
{
    open();
    tick(u"101"_s);
    QTest::mouseClick(m_dialog->btnSave, Qt::LeftButton); // the save-file dialog is cancelled
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(m_prompter->filters.size(), 1);
    QCOMPARE(m_dialog->clbFiles->item(0)->checkState(), Qt::Checked);
    QTest::mouseClick(m_dialog->btnCancel, Qt::LeftButton);
    QCOMPARE(m_dialog->result(), int(QDialog::Rejected));
    QVERIFY(!m_dialog->isVisible());
    QVERIFY(m_dialog->lastSummary().isEmpty());
    QVERIFY(QDir(outDir()).isEmpty());
    QCOMPARE(m_home->rows(u"SELECT count(*) FROM \"101\" WHERE VersionNo = 2"_s),
             QStringList{u"2"_s});
}

void TfrmSaveFilesTest::replacingFilesIsAskedOnce()
{
    const QStringList codes = bm::recordTypeCodes();
    for (const QString &code : codes)
        m_home->write(outDir() + u"herd."_s + code, "old\r\n");
    open();
    QTest::mouseClick(m_dialog->btnSelectAll, Qt::LeftButton);
    // No: back to the file dialog, where another name is cancelled; nothing is written.
    m_prompter->choices = {outDir() + u"herd"_s};
    m_prompter->answers = {false};
    QTest::mouseClick(m_dialog->btnSave, Qt::LeftButton);
    QCOMPARE(m_prompter->questions.size(), 1);
    QVERIFY(m_prompter->questions.first().startsWith(u"12 files already exist in"_s));
    QCOMPARE(m_prompter->filters.size(), 2);
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(bm::test::readFile(outDir() + u"herd.104"_s), QByteArray("old\r\n"));

    // Yes: every ticked table is written; the empty ones lose their old file.
    m_prompter->choices = {outDir() + u"herd"_s};
    m_prompter->answers = {true};
    QTest::mouseClick(m_dialog->btnSave, Qt::LeftButton);
    QCOMPARE(m_prompter->questions.size(), 2);
    QVERIFY(!m_dialog->isVisible());
    QVERIFY(bm::test::readFile(outDir() + u"herd.104"_s).startsWith("1042"));
    QVERIFY(!QFile::exists(outDir() + u"herd.102"_s));
    QVERIFY(m_dialog->lastSummary().startsWith(u"Saved 3 files in"_s));
}

void TfrmSaveFilesTest::errorIsShownAndTheDialogCloses()
{
    m_home->dm().exec(u"UPDATE \"104\" SET CowID = 'FAR TOO LONG' WHERE rowid = 1"_s);
    open();
    tick(u"101"_s);
    tick(u"104"_s);
    m_prompter->choices.push_back(outDir() + u"herd"_s);
    QTest::mouseClick(m_dialog->btnSave, Qt::LeftButton);
    QCOMPARE(m_prompter->errors.size(), 1);
    QVERIFY2(
            m_prompter->errors.first().startsWith(
                    u"Cannot save table 104, row 1. The field CowID cannot hold \"FAR TOO LONG\""_s),
            qPrintable(m_prompter->errors.first()));
    QVERIFY(!m_dialog->isVisible());
    // No file of the set is put in place when one of them fails.
    QVERIFY(!QFile::exists(outDir() + u"herd.101"_s));
    QVERIFY(!QFile::exists(outDir() + u"herd.104"_s));
    QVERIFY(!m_progress->isVisible());
    QVERIFY(!QApplication::overrideCursor());
}

void TfrmSaveFilesTest::everyEntryIsWhollyVisible()
{
    open();
    QListWidget *list = m_dialog->clbFiles;
    for (int i = 0; i < list->count(); ++i) {
        const QRect entry = list->visualItemRect(list->item(i));
        QVERIFY2(list->viewport()->rect().contains(entry), qPrintable(list->item(i)->text()));
        const int text = list->fontMetrics().horizontalAdvance(list->item(i)->text());
        QVERIFY2(text + 24 < entry.width(), qPrintable(list->item(i)->text()));
    }
    // What lies below the list stays below it, inside the window.
    QVERIFY(m_dialog->rgFileType->geometry().top() > list->geometry().bottom());
    QVERIFY(m_dialog->rect().contains(m_dialog->btnCancel->geometry()));
}

void TfrmSaveFilesTest::fileMenuOpensTheDialogAndTheStatusLineTellsWhatWasSaved()
{
    MainWindowFixture f;
    QVERIFY(f.show());
    const QString out = f.home.path() + u"herd.csv"_s;

    QStringList entries;
    int width = 0;
    openFromMenu(f, [&](TfrmSaveFiles &d) {
        width = d.width();
        for (int i = 0; i < d.clbFiles->count(); ++i)
            entries << d.clbFiles->item(i)->text();
        QTest::mouseClick(d.btnCancel, Qt::LeftButton);
    });
    QCOMPARE(entries.size(), 12);
    QCOMPARE(entries.first(), u"101 - Herd"_s);
    // Wide enough for the title bar to show its whole caption, the program's name after it.
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    QVERIFY2(width > QFontMetrics(titleFont).horizontalAdvance(
                     u"Select Files \u2014 Corvelle Brindlemark"_s),
             qPrintable(QString::number(width)));
    QCOMPARE(entries.last(), u"211 - Cow ABV 211"_s);
    QVERIFY(f.frmMain.message().isEmpty());

    openFromMenu(f, [&](TfrmSaveFiles &d) {
        tickEntry(d, u"101"_s);
        QTest::mouseClick(d.rbCSV, Qt::LeftButton);
        f.prompter.choices.push_back(out);
        QTest::mouseClick(d.btnSave, Qt::LeftButton);
    });
    QVERIFY(f.prompter.errors.isEmpty());
    QFile csv(f.home.path() + u"herd_101.csv"_s);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QVERIFY(csv.readAll().startsWith("RecordType,VersionNo,HerdCode,"));
    QCOMPARE(f.frmMain.message(), u"Saved 1 file in \"%1\": herd_101.csv"_s.arg(
                                          QDir::toNativeSeparators(QFileInfo(out).absolutePath())));
    QVERIFY(f.child<QLabel>("lblMessage")->text().startsWith(u"Saved 1 file"_s));

    // Ctrl+S opens the dialog, with the tick of the last use.
    QVERIFY(f.activate());
    bool ticked = false;
    QTimer::singleShot(0, &f.frmSaveFiles, [&] {
        ticked = f.frmSaveFiles.clbFiles->item(0)->checkState() == Qt::Checked;
        f.frmSaveFiles.reject();
    });
    QTest::keyClick(&f.frmMain, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(ticked);
}

void TfrmSaveFilesTest::offersTheDataSetLoadedInItsFolder()
{
    MainWindowFixture f;
    QVERIFY(f.show());
    // The name the save-file dialog offers (it is cancelled, and the dialog with it).
    auto offered = [&f] {
        openFromMenu(f, [](TfrmSaveFiles &d) {
            QTest::mouseClick(d.btnSelectAll, Qt::LeftButton);
            QTest::mouseClick(d.btnSave, Qt::LeftButton);
        });
        return f.prompter.initials.value(f.prompter.initials.size() - 1);
    };
    // Nothing loaded yet: a folder of the user's, not the program folder.
    const QString first = offered();
    QVERIFY2(first.endsWith(u'/') && QFileInfo(first).isDir(), qPrintable(first));
    QVERIFY(!first.startsWith(f.home.path()));

    // After a load, the name of the set loaded in its folder; after the next load, that one's.
    QTemporaryDir data;
    for (const char *name : {"north", "south"}) {
        const QString copy = data.filePath(QString::fromLatin1(name) + u".zip"_s);
        QVERIFY(QFile::copy(QStringLiteral(BM_SOURCE_DIR "/samples/herd.zip"), copy));
        f.prompter.choices = {copy};
        f.clickFileMenu("LoadFiles1");
        QTRY_VERIFY(f.frmMain.message().startsWith(u"Loaded"_s));
        QCOMPARE(offered(), data.filePath(QString::fromLatin1(name)));
    }
    QVERIFY(f.prompter.errors.isEmpty());
}

void TfrmSaveFilesTest::progressWindowIsUpFromTheFirstMomentOfTheSave()
{
    MainWindowFixture f;
    bm::NullProgress none;
    bm::Importer importer(f.home.dm(), none, f.prompter);
    for (const QString &code : {u"101"_s, u"103"_s, u"104"_s})
        importer.importTypeFile(bm::test::testDataDir() + u"roundtrip/herd."_s + code, code);
    QVERIFY(f.show());

    // The first time the progress window paints during the save: what it shows and what else is
    // on screen, and how long after the click.
    struct Catch : QObject
    {
        MainWindowFixture &f;
        QElapsedTimer clock;
        qint64 at = -1;
        QString status;
        bool dialogShown = true;
        bool exposed = false;
        explicit Catch(MainWindowFixture &fixture)
            : f(fixture)
        {}
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint && at < 0 && clock.isValid()) {
                at = clock.elapsed();
                status = f.frmProgress.lblStatus->text();
                dialogShown = f.frmSaveFiles.isVisible();
                exposed = f.frmProgress.windowHandle() && f.frmProgress.windowHandle()->isExposed();
            }
            return false;
        }
    } first(f);
    f.frmProgress.installEventFilter(&first);
    const QString out = f.home.path() + u"out/all"_s;
    QDir().mkpath(f.home.path() + u"out"_s);
    openFromMenu(f, [&](TfrmSaveFiles &d) {
        QTest::mouseClick(d.btnSelectAll, Qt::LeftButton);
        d.ckbZip->setChecked(true);
        f.prompter.choices = {out};
        first.clock.start();
        QTest::mouseClick(d.btnSave, Qt::LeftButton);
    });
    QVERIFY(f.prompter.errors.isEmpty());
    QVERIFY(QFile::exists(out + u".zip"_s));
    // Up and painted before any table is read, with the dialog gone from the screen.
    QCOMPARE(first.status, u"Saving Files"_s);
    QVERIFY(first.exposed);
    QVERIFY(!first.dialogShown);
    QVERIFY2(first.at >= 0 && first.at < 200, qPrintable(QString::number(first.at)));
    QVERIFY(!f.frmProgress.QWidget::isVisible());
}

QTEST_MAIN(TfrmSaveFilesTest)
#include "TfrmSaveFilesTest.moc"
