#include "GuiFixture.h"

#include "Loader.h"
#include "TfrmSaveFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTimer>

using namespace Qt::StringLiterals;
using bm::gui::TfrmSaveFiles;

namespace {

void tickEntries(TfrmSaveFiles &d, const QStringList &codes)
{
    // The keyboard ticks an entry as a click on its box does: Space on the current entry.
    for (const QString &code : codes) {
        const QList<QListWidgetItem *> found
                = d.clbFiles->findItems(code + u" - "_s, Qt::MatchStartsWith);
        QCOMPARE(found.size(), 1);
        d.clbFiles->setCurrentItem(found.first());
        QTest::keyClick(d.clbFiles, Qt::Key_Space);
        QCOMPARE(found.first()->checkState(), Qt::Checked);
    }
}

// Types `text` into a line edit, replacing what it holds.
void retype(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

} // namespace

class AdeSaveTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void saveFilesWritesTheAnimalsLactationsAndTestDaysAsJson();
};

void AdeSaveTest::saveFilesWritesTheAnimalsLactationsAndTestDaysAsJson()
{
    // The density typed as a German user types it.
    const bm::test::LocaleScope locale(QLocale(QLocale::German, QLocale::Germany));
    MainWindowFixture f;
    bm::NullProgress progress;
    bm::Loader(f.home.dm(), progress, f.prompter)
            .load(QStringLiteral(BM_SOURCE_DIR "/samples/herd.zip"));
    QVERIFY(f.show());
    const QString out = f.home.path() + u"herd.json"_s;

    auto saveFiles = [&f](const std::function<void(TfrmSaveFiles &)> &inside) {
        QTimer::singleShot(0, &f.frmSaveFiles, [&f, inside] {
            inside(f.frmSaveFiles);
            if (f.frmSaveFiles.isVisible())
                f.frmSaveFiles.reject();
        });
        f.clickFileMenu("SaveFiles1");
        QTRY_VERIFY(!f.frmSaveFiles.isVisible());
    };

    // A density that is no number: the error is shown and nothing is written.
    bool enabledForDif = true;
    bool stayedOpen = false;
    saveFiles([&](TfrmSaveFiles &d) {
        enabledForDif = d.edtDensity->isEnabled();
        tickEntries(d, {u"102"_s});
        QTest::mouseClick(d.rbADE, Qt::LeftButton);
        retype(d.edtDensity, u"heavy"_s);
        f.prompter.choices.push_back(out);
        QTest::mouseClick(d.btnSave, Qt::LeftButton);
        stayedOpen = d.isVisible();
    });
    QVERIFY(!enabledForDif);
    QVERIFY(stayedOpen);
    QCOMPARE(f.prompter.errors.size(), 1);
    QVERIFY(f.prompter.errors.first().contains(u"'heavy' is not a milk density"_s));
    QVERIFY(!QFile::exists(f.home.path() + u"herd_animals.json"_s));

    f.prompter.errors.clear();
    f.prompter.choices.clear();
    saveFiles([&](TfrmSaveFiles &d) {
        QVERIFY(d.rbADE->isChecked()); // the file type carries over
        QVERIFY(d.edtScheme->isEnabled());
        tickEntries(d, {u"101"_s, u"103"_s, u"104"_s});
        retype(d.edtScheme, u"au.example"_s);
        retype(d.edtDensity, u"1,02"_s);
        f.prompter.choices.push_back(out);
        QTest::mouseClick(d.btnSave, Qt::LeftButton);
    });
    QVERIFY2(f.prompter.errors.isEmpty(), qPrintable(f.prompter.errors.join(u'\n')));
    const QString stem = f.home.path() + u"herd_"_s;
    const bm::test::ProcessResult valid = bm::test::validateAde(
            {u"icarAnimalCoreCollection"_s, stem + u"animals.json"_s, u"icarLactationCollection"_s,
             stem + u"lactations.json"_s, u"icarTestDayResultEventCollection"_s,
             stem + u"testdays.json"_s});
    QVERIFY2(valid.exitCode == 0, qPrintable(valid.out + valid.err));
    QVERIFY2(f.frmMain.message().contains(u"no ICAR ADE resource, not written: 101"_s),
             qPrintable(f.frmMain.message()));

    // The scheme and the density typed, in the files and kept for the next save.
    const QJsonObject test = QJsonDocument::fromJson(bm::test::readFile(stem + u"testdays.json"_s))
                                     .object()[u"member"_s]
                                     .toArray()[0]
                                     .toObject();
    QCOMPARE(test[u"animal"_s].toObject()[u"scheme"_s].toString(), u"au.example"_s);
    const double litres = f.home.rows(u"SELECT Milk FROM \"104\" LIMIT 1"_s).first().toDouble();
    QCOMPARE(test[u"milkWeight24Hours"_s].toObject()[u"value"_s].toDouble(),
             std::round(litres * 1.02 * 1000) / 1000);
    QSettings ini(f.home.path() + u"Brindlemark.ini"_s, QSettings::IniFormat);
    QCOMPARE(ini.value(u"ADE/IdScheme"_s).toString(), u"au.example"_s);
    QCOMPARE(ini.value(u"ADE/MilkDensity"_s).toString(), u"1.02"_s);
}

QTEST_MAIN(AdeSaveTest)
#include "AdeSaveTest.moc"
