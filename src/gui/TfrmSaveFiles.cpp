#include "TfrmSaveFiles.h"

#include "AdeJson.h"
#include "Command.h"
#include "Error.h"
#include "Look.h"
#include "NumberText.h"
#include "ProgressSink.h"
#include "Prompter.h"
#include "Saver.h"
#include "TableExport.h"
#include "Tdm.h"
#include "Zip.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>

namespace bm::gui {

using namespace Qt::StringLiterals;

TfrmSaveFiles::TfrmSaveFiles(bm::Tdm &dm, bm::ProgressSink &progress, bm::Prompter &prompter,
                             QWidget *parent)
    : QDialog(parent)
    , m_dm(dm)
    , m_progress(progress)
    , m_prompter(prompter)
{
    setObjectName(u"frmSaveFiles"_s);
    setWindowTitle(u"Select Files"_s);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(267, 433);
    QFont face = bm::gui::tahoma(8);
    face.setPixelSize(11);
    setFont(face);

    Label1 = new QLabel(u"Select Files To Save"_s, this);
    Label1->setObjectName(u"Label1"_s);
    QFont heading = face;
    heading.setPixelSize(16);
    heading.setUnderline(true);
    Label1->setFont(heading);
    Label1->move(8, 8);
    Label1->adjustSize();

    auto button = [this](const QString &caption, const QString &name, int left, int top) {
        auto *b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setGeometry(left, top, 75, 25);
        b->setAutoDefault(false);
        return b;
    };
    btnSelectAll = button(u"Select All"_s, u"btnSelectAll"_s, 55, 35);
    btnClearAll = button(u"Clear All"_s, u"btnClearAll"_s, 136, 35);

    clbFiles = new QListWidget(this);
    clbFiles->setObjectName(u"clbFiles"_s);
    clbFiles->setGeometry(10, 66, 249, 161);

    rgFileType = new QGroupBox(u"Save As"_s, this);
    rgFileType->setObjectName(u"rgFileType"_s);
    rgFileType->setGeometry(10, 235, 249, 78);
    rbDIF = new QRadioButton(u"DIF Files"_s, rgFileType);
    rbDIF->setObjectName(u"rbDIF"_s);
    rbDIF->move(8, 16);
    rbDIF->adjustSize();
    rbCSV = new QRadioButton(u"CSV Files"_s, rgFileType);
    rbCSV->setObjectName(u"rbCSV"_s);
    rbCSV->move(8, 35);
    rbCSV->adjustSize();
    rbADE = new QRadioButton(u"JSON (ICAR ADE)"_s, rgFileType);
    rbADE->setObjectName(u"rbADE"_s);
    rbADE->setToolTip(u"The animals (102), lactations (103) and test days (104) as ICAR Animal "
                      "Data Exchange JSON, one file each"_s);
    rbADE->move(8, 54);
    rbADE->adjustSize();
    auto *fileTypes = new QButtonGroup(this);
    fileTypes->addButton(rbDIF, 0);
    fileTypes->addButton(rbCSV, 1);
    fileTypes->addButton(rbADE, 2);
    rbDIF->setChecked(true);
    connect(fileTypes, &QButtonGroup::idClicked, this, &TfrmSaveFiles::rgFileTypeClick);

    ckbZip = new QCheckBox(u"Zip Files"_s, this);
    ckbZip->setObjectName(u"ckbZip"_s);
    ckbZip->move(18, 319);
    ckbZip->adjustSize();

    lblScheme = new QLabel(u"ID scheme :"_s, this);
    lblScheme->setObjectName(u"lblScheme"_s);
    lblScheme->setGeometry(18, 343, 80, 21);
    edtScheme = new QLineEdit(this);
    edtScheme->setObjectName(u"edtScheme"_s);
    edtScheme->setGeometry(100, 343, 159, 21);
    edtScheme->setPlaceholderText(u"from each ID"_s);
    edtScheme->setToolTip(u"The identifier scheme of the national IDs in the JSON; empty: each "
                          "ID's own first three letters, in lower case"_s);
    lblScheme->setBuddy(edtScheme);
    lblDensity = new QLabel(u"Milk kg/L :"_s, this);
    lblDensity->setObjectName(u"lblDensity"_s);
    lblDensity->setGeometry(18, 368, 80, 21);
    edtDensity = new QLineEdit(this);
    edtDensity->setObjectName(u"edtDensity"_s);
    edtDensity->setGeometry(100, 368, 60, 21);
    edtDensity->setToolTip(u"Kilograms per litre of milk: the JSON gives milk in kilograms, the "
                           "tables in litres"_s);
    lblDensity->setBuddy(edtDensity);

    btnSave = button(u"Save"_s, u"btnSave"_s, 55, 397);
    btnSave->setDefault(true);
    btnCancel = button(u"Cancel"_s, u"btnCancel"_s, 136, 397);

    // Keyboard order follows the layout, top to bottom.
    setTabOrder(btnSelectAll, btnClearAll);
    setTabOrder(btnClearAll, clbFiles);
    setTabOrder(clbFiles, rbDIF);
    setTabOrder(rbDIF, ckbZip);
    setTabOrder(ckbZip, edtScheme);
    setTabOrder(edtScheme, edtDensity);
    setTabOrder(edtDensity, btnSave);
    setTabOrder(btnSave, btnCancel);

    connect(btnSelectAll, &QPushButton::clicked, this, &TfrmSaveFiles::btnSelectAllClick);
    connect(btnClearAll, &QPushButton::clicked, this, &TfrmSaveFiles::btnClearAllClick);
    connect(btnSave, &QPushButton::clicked, this, &TfrmSaveFiles::btnSaveClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    rgFileTypeClick();
}

void TfrmSaveFiles::rgFileTypeClick()
{
    for (QWidget *w :
         std::initializer_list<QWidget *>{lblScheme, edtScheme, lblDensity, edtDensity})
        w->setEnabled(rbADE->isChecked());
}

void TfrmSaveFiles::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        m_summary.clear();
        // The JSON settings as kept for the program folder.
        const bm::AdeSettings ade = bm::AdeSettings::read(m_dm.home());
        edtScheme->setText(ade.idScheme);
        edtDensity->setText(QLocale().toString(ade.milkDensity, 'g', 6));
        fitList();
        if (const QScreen *screen = this->screen())
            move(screen->availableGeometry().center() - rect().center());
        clbFiles->setFocus();
        if (clbFiles->count() > 0 && !clbFiles->currentItem())
            clbFiles->setCurrentRow(0);
    }
}

void TfrmSaveFiles::clearEntries()
{
    clbFiles->clear();
}

void TfrmSaveFiles::addEntry(const QString &text)
{
    auto *item = new QListWidgetItem(text, clbFiles);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(m_ticked.contains(text.left(3)) ? Qt::Checked : Qt::Unchecked);
}

void TfrmSaveFiles::done(int result)
{
    // The ticks carry over to the next use, as the file type and the zip tick do.
    m_ticked = request().types;
    QDialog::done(result);
}

void TfrmSaveFiles::fitList()
{
    // The designed list is 249 x 161 at (10, 66); it grows to show every entry whole and the
    // controls below it move down with it.
    const int frame = 2 * clbFiles->frameWidth();
    int rows = 0;
    for (int i = 0; i < clbFiles->count(); ++i)
        rows += clbFiles->sizeHintForRow(i);
    const int widest = clbFiles->count() > 0 ? clbFiles->sizeHintForColumn(0) : 0;
    const int height = std::max(161, rows + frame + 2);
    // Wide enough for the entries, and for the title bar to show the whole caption.
    const int width = std::max({249, widest + frame + 4, titleBarWidth(windowTitle()) - 18});
    const int grow = height - 161;
    const int widen = width - 249;
    clbFiles->setGeometry(10, 66, width, height);
    rgFileType->setGeometry(10, 235 + grow, 249 + widen, 78);
    ckbZip->move(18, 319 + grow);
    lblScheme->move(18, 343 + grow);
    edtScheme->setGeometry(100, 343 + grow, 159 + widen, 21);
    lblDensity->move(18, 368 + grow);
    edtDensity->move(100, 368 + grow);
    btnSave->move(55 + widen / 2, 397 + grow);
    btnCancel->move(136 + widen / 2, 397 + grow);
    btnSelectAll->move(55 + widen / 2, 35);
    btnClearAll->move(136 + widen / 2, 35);
    setFixedSize(267 + widen, 433 + grow);
}

void TfrmSaveFiles::setAllTicked(bool ticked)
{
    for (int i = 0; i < clbFiles->count(); ++i)
        clbFiles->item(i)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

void TfrmSaveFiles::btnSelectAllClick()
{
    setAllTicked(true);
}

void TfrmSaveFiles::btnClearAllClick()
{
    setAllTicked(false);
}

bm::SaveRequest TfrmSaveFiles::request() const
{
    bm::SaveRequest r;
    r.format = rbCSV->isChecked()   ? bm::SaveFormat::CSV
               : rbADE->isChecked() ? bm::SaveFormat::ADE
                                    : bm::SaveFormat::DIF;
    r.zip = ckbZip->isChecked();
    // The record type of an entry is its first three characters.
    for (int i = 0; i < clbFiles->count(); ++i)
        if (clbFiles->item(i)->checkState() == Qt::Checked)
            r.types << clbFiles->item(i)->text().left(3);
    return r;
}

bm::AdeSettings TfrmSaveFiles::adeSettings() const
{
    bm::AdeSettings ade;
    ade.idScheme = edtScheme->text().trimmed();
    // The density as typed: the locale's form, or with "." as a machine writes it.
    const QString typed = edtDensity->text().trimmed();
    bool ok = false;
    ade.milkDensity = QLocale().toDouble(typed, &ok);
    if (!ok && !bm::numtext::parse(typed.toLatin1(), ade.milkDensity))
        throw bm::Error(
                u"'%1' is not a milk density: type the kilograms per litre, such as %2"_s.arg(
                        typed, QLocale().toString(1.03)));
    ade.check();
    return ade;
}

void TfrmSaveFiles::btnSaveClick()
{
    const bm::SaveRequest r = request();
    bm::Saver saver(m_dm, m_progress, m_prompter);
    if (r.format == bm::SaveFormat::ADE) {
        // Settings that do not hold keep the dialog open for correction.
        if (!bm::gui::runCommand(&m_progress, m_prompter, [&] {
                const bm::AdeSettings ade = adeSettings();
                ade.write(m_dm.home());
                saver.setAdeSettings(ade);
            }))
            return;
    }
    std::optional<QString> chosen;
    for (;;) {
        if (!bm::gui::runCommand(&m_progress, m_prompter,
                                 [&] { chosen = saver.chooseFile(r, m_lastFile); }))
            return;
        if (!chosen)
            return; // nothing ticked, or the file dialog cancelled: back to the ticks
        bool replace = false;
        if (!bm::gui::runCommand(&m_progress, m_prompter,
                                 [&] { replace = saver.confirmReplace(r, *chosen); }))
            return;
        if (replace)
            break;
    }
    // The dialog leaves the screen before the work starts; the progress window shows the save
    // from its first moment to the end of the packing.
    hide();
    bm::gui::runCommand(&m_progress, m_prompter, [&] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_progress.start(u"Saving Files"_s, 100, QString());
        m_progress.show();
        m_summary = bm::saveSummary(saver.save(r, *chosen));
    });
    accept();
}

qint64 TfrmSaveFiles::ExportDIF(const QString &QueryString, const QString &PathAndFile,
                                const QString &DefName, bool HideProgress)
{
    return bm::TableExport(m_dm, m_progress)
            .ExportDIF(QueryString, PathAndFile, DefName, HideProgress);
}

qint64 TfrmSaveFiles::ExportCSV(const QString &QueryString, const QString &PathAndFile, bool Titles,
                                bool HideProgress)
{
    return bm::TableExport(m_dm, m_progress)
            .ExportCSV(QueryString, PathAndFile, Titles, HideProgress);
}

int TfrmSaveFiles::ZipFileList(const QString &PathAndFile, const QStringList &FileList)
{
    return bm::ZipFileList(PathAndFile, FileList, m_progress);
}

} // namespace bm::gui
