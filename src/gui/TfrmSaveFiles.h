#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace bm {
class Prompter;
class ProgressSink;
class Tdm;
struct SaveRequest;
} // namespace bm

namespace bm::gui {

// The Select Files dialog: tick record types, choose DIF or CSV and whether to zip, and Save.
// Made once at start-up, so the file type, the zip tick and the last file name chosen carry over
// between uses; the list is refilled, all unticked, every time the dialog opens.
class TfrmSaveFiles : public QDialog
{
    Q_OBJECT
public:
    TfrmSaveFiles(bm::Tdm &dm, bm::ProgressSink &progress, bm::Prompter &prompter,
                  QWidget *parent = nullptr);

    // The list of entries, "<record type> - <description>", each unticked.
    void clearEntries();
    void addEntry(const QString &text);

    void btnSelectAllClick();
    void btnClearAllClick();
    // Asks for the file name and saves the ticked tables. The dialog closes afterwards, unless
    // nothing was ticked: then it says so and stays open.
    void btnSaveClick();

    // The writers and the packing, as the save uses them.
    qint64 ExportDIF(const QString &QueryString, const QString &PathAndFile, const QString &DefName,
                     bool HideProgress);
    qint64 ExportCSV(const QString &QueryString, const QString &PathAndFile, bool Titles,
                     bool HideProgress);
    int ZipFileList(const QString &PathAndFile, const QStringList &FileList);

    QLabel *Label1 = nullptr;
    QPushButton *btnSelectAll = nullptr;
    QPushButton *btnClearAll = nullptr;
    QListWidget *clbFiles = nullptr;
    QGroupBox *rgFileType = nullptr;
    QRadioButton *rbDIF = nullptr;
    QRadioButton *rbCSV = nullptr;
    QCheckBox *ckbZip = nullptr;
    QPushButton *btnSave = nullptr;
    QPushButton *btnCancel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    bm::SaveRequest request() const;
    void setAllTicked(bool ticked);

    bm::Tdm &m_dm;
    bm::ProgressSink &m_progress;
    bm::Prompter &m_prompter;
    QString m_lastFile; // the save-file dialog starts here
};

} // namespace bm::gui
