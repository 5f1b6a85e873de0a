#include "TfrmSaveFiles.h"
#include "GuiFixture.h"
#include "Importer.h"
#include "Layout.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>

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
    void choicesStayAndTicksAreClearedAtTheNextOpening();
    void nothingTickedKeepsTheDialogOpen();
    void cancelWritesNothing();
    void errorIsShownAndTheDialogCloses();
    void fileMenuOpensTheDialogWithEveryTabUnticked();

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

void TfrmSaveFilesTest::choicesStayAndTicksAreClearedAtTheNextOpening()
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

    open();
    QVERIFY(m_dialog->rbCSV->isChecked());
    QVERIFY(m_dialog->ckbZip->isChecked());
    for (int i = 0; i < m_dialog->clbFiles->count(); ++i)
        QCOMPARE(m_dialog->clbFiles->item(i)->checkState(), Qt::Unchecked);

    QTest::mouseClick(m_dialog->rbDIF, Qt::LeftButton);
    QTest::mouseClick(m_dialog->btnSelectAll, Qt::LeftButton);
    m_prompter->choices.push_back(outDir() + u"herd.zip"_s);
    QTest::mouseClick(m_dialog->btnSave, Qt::LeftButton);
    QCOMPARE(m_prompter->filters.last(), u"zip File (*.zip)"_s);
    QVERIFY(m_prompter->errors.isEmpty());
    // Only the three tables with rows have a file to pack.
    const bm::test::ProcessResult listing
            = bm::test::runProgram(u"unzip"_s, {u"-Z1"_s, outDir() + u"herd.zip"_s});
    QCOMPARE(listing.out, u"herd.101\nherd.103\nherd.104\n"_s);
    QCOMPARE(bm::test::runProgram(u"unzip"_s, {u"-tq"_s, outDir() + u"herd.zip"_s}).exitCode, 0);
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

void TfrmSaveFilesTest::cancelWritesNothing()
{
    open();
    tick(u"101"_s);
    QTest::mouseClick(m_dialog->btnSave, Qt::LeftButton); // the save-file dialog is cancelled
    QVERIFY(!m_dialog->isVisible());
    open();
    tick(u"101"_s);
    QTest::mouseClick(m_dialog->btnCancel, Qt::LeftButton);
    QCOMPARE(m_dialog->result(), int(QDialog::Rejected));
    QVERIFY(QDir(outDir()).isEmpty());
    QCOMPARE(m_home->rows(u"SELECT count(*) FROM \"101\" WHERE VersionNo = 2"_s),
             QStringList{u"2"_s});
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
    QVERIFY2(m_prompter->errors.first().contains(u"table 104: row 1, field CowID"_s),
             qPrintable(m_prompter->errors.first()));
    QVERIFY(!m_dialog->isVisible());
    QVERIFY(QFile::exists(outDir() + u"herd.101"_s));
    QVERIFY(!QFile::exists(outDir() + u"herd.104"_s));
    QVERIFY(!m_progress->isVisible());
    QVERIFY(!QApplication::overrideCursor());
}

void TfrmSaveFilesTest::fileMenuOpensTheDialogWithEveryTabUnticked()
{
    MainWindowFixture f;
    QVERIFY(f.show());
    const QString out = f.home.path() + u"herd.csv"_s;
    auto openFromMenu = [&f](const std::function<void(TfrmSaveFiles &)> &inside) {
        f.clickButton("btnActions");
        auto *menu = f.child<QMenu>("pumActions");
        QTRY_VERIFY(menu->isVisible());
        // The dialog runs modally: act on it from inside its own event loop.
        QTimer::singleShot(0, &f.frmSaveFiles, [&f, inside] {
            inside(f.frmSaveFiles);
            if (f.frmSaveFiles.isVisible())
                f.frmSaveFiles.reject();
        });
        QTest::mouseClick(menu, Qt::LeftButton, {},
                          menu->actionGeometry(f.child<QAction>("SaveFiles1")).center());
        QTRY_VERIFY(!f.frmSaveFiles.isVisible());
    };

    QStringList entries;
    openFromMenu([&](TfrmSaveFiles &d) {
        for (int i = 0; i < d.clbFiles->count(); ++i)
            entries << d.clbFiles->item(i)->text();
        tickEntry(d, u"101"_s);
        QTest::mouseClick(d.btnCancel, Qt::LeftButton);
    });
    QCOMPARE(entries.size(), 12);
    QCOMPARE(entries.first(), u"101 - Herd"_s);
    QCOMPARE(entries.last(), u"211 - Cow ABV 211"_s);

    bool untickedAgain = false;
    openFromMenu([&](TfrmSaveFiles &d) {
        untickedAgain = d.clbFiles->item(0)->checkState() == Qt::Unchecked;
        tickEntry(d, u"101"_s);
        QTest::mouseClick(d.rbCSV, Qt::LeftButton);
        f.prompter.choices.push_back(out);
        QTest::mouseClick(d.btnSave, Qt::LeftButton);
    });
    QVERIFY(untickedAgain);
    QVERIFY(f.prompter.errors.isEmpty());
    QFile csv(f.home.path() + u"herd_101.csv"_s);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QVERIFY(csv.readAll().startsWith("RecordType,VersionNo,HerdCode,"));
}

QTEST_MAIN(TfrmSaveFilesTest)
#include "TfrmSaveFilesTest.moc"
