#include "TfrmSaveFiles.h"

#include "Command.h"
#include "CsvWriter.h"
#include "DifWriter.h"
#include "Look.h"
#include "ProgressSink.h"
#include "Prompter.h"
#include "Saver.h"
#include "Zip.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
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
    setFixedSize(267, 366);
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
    rgFileType->setGeometry(10, 235, 249, 59);
    rbDIF = new QRadioButton(u"DIF Files"_s, rgFileType);
    rbDIF->setObjectName(u"rbDIF"_s);
    rbDIF->move(8, 16);
    rbDIF->adjustSize();
    rbCSV = new QRadioButton(u"CSV Files"_s, rgFileType);
    rbCSV->setObjectName(u"rbCSV"_s);
    rbCSV->move(8, 35);
    rbCSV->adjustSize();
    auto *fileTypes = new QButtonGroup(this);
    fileTypes->addButton(rbDIF, 0);
    fileTypes->addButton(rbCSV, 1);
    rbDIF->setChecked(true);

    ckbZip = new QCheckBox(u"Zip Files"_s, this);
    ckbZip->setObjectName(u"ckbZip"_s);
    ckbZip->move(18, 300);
    ckbZip->adjustSize();

    btnSave = button(u"Save"_s, u"btnSave"_s, 55, 330);
    btnSave->setDefault(true);
    btnCancel = button(u"Cancel"_s, u"btnCancel"_s, 136, 330);

    // Keyboard order follows the layout, top to bottom.
    setTabOrder(btnSelectAll, btnClearAll);
    setTabOrder(btnClearAll, clbFiles);
    setTabOrder(clbFiles, rbDIF);
    setTabOrder(rbDIF, ckbZip);
    setTabOrder(ckbZip, btnSave);
    setTabOrder(btnSave, btnCancel);

    connect(btnSelectAll, &QPushButton::clicked, this, &TfrmSaveFiles::btnSelectAllClick);
    connect(btnClearAll, &QPushButton::clicked, this, &TfrmSaveFiles::btnClearAllClick);
    connect(btnSave, &QPushButton::clicked, this, &TfrmSaveFiles::btnSaveClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmSaveFiles::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        m_summary.clear();
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
    rgFileType->setGeometry(10, 235 + grow, 249 + widen, 59);
    ckbZip->move(18, 300 + grow);
    btnSave->move(55 + widen / 2, 330 + grow);
    btnCancel->move(136 + widen / 2, 330 + grow);
    btnSelectAll->move(55 + widen / 2, 35);
    btnClearAll->move(136 + widen / 2, 35);
    setFixedSize(267 + widen, 366 + grow);
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
    r.format = rbCSV->isChecked() ? bm::SaveFormat::CSV : bm::SaveFormat::DIF;
    r.zip = ckbZip->isChecked();
    // The record type of an entry is its first three characters.
    for (int i = 0; i < clbFiles->count(); ++i)
        if (clbFiles->item(i)->checkState() == Qt::Checked)
            r.types << clbFiles->item(i)->text().left(3);
    return r;
}

void TfrmSaveFiles::btnSaveClick()
{
    const bm::SaveRequest r = request();
    bm::Saver saver(m_dm, m_progress, m_prompter);
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
    return bm::DifWriter(m_dm, m_progress)
            .ExportDIF(QueryString, PathAndFile, DefName, HideProgress);
}

qint64 TfrmSaveFiles::ExportCSV(const QString &QueryString, const QString &PathAndFile, bool Titles,
                                bool HideProgress)
{
    return bm::CsvWriter(m_dm, m_progress)
            .ExportCSV(QueryString, PathAndFile, Titles, HideProgress);
}

int TfrmSaveFiles::ZipFileList(const QString &PathAndFile, const QStringList &FileList)
{
    return bm::ZipFileList(PathAndFile, FileList, m_progress);
}

} // namespace bm::gui
