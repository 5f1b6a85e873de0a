#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace bm {
class Prompter;
class ProgressSink;
class Tdm;
struct AdeSettings;
struct SaveRequest;
} // namespace bm

namespace bm::gui {

// The Select Files dialog: tick record types, choose DIF, CSV or JSON (ICAR ADE) and whether to
// zip, and Save. For JSON, the identifier scheme of national IDs and the milk density are set
// here too; they are kept in Brindlemark.ini of the program folder when a save uses them.
// Made once at start-up, so the file type, the zip tick, the ticks of the list and the last file
// name chosen carry over between uses; the list is refilled every time the dialog opens, each
// entry ticked as it was when the dialog last closed. The list shows every entry whole.
class TfrmSaveFiles : public QDialog
{
    Q_OBJECT
public:
    TfrmSaveFiles(bm::Tdm &dm, bm::ProgressSink &progress, bm::Prompter &prompter,
                  QWidget *parent = nullptr);

    // The list of entries, "<record type> - <description>", ticked as they were last time.
    void clearEntries();
    void addEntry(const QString &text);

    void btnSelectAllClick();
    void btnClearAllClick();
    // Asks for the file name and saves the ticked tables; when the save replaces files that
    // exist, it asks once first (No goes back to the file name). The dialog closes after the
    // save, whether it ended well or with an error. Nothing ticked: it says so and stays open;
    // Cancel in the file dialog comes back to it too.
    void btnSaveClick();
    // What the last save did, in one line ("Saved ..."); empty when the dialog closed without
    // saving.
    const QString &lastSummary() const { return m_summary; }
    // The file the save-file dialog offers next (the last one chosen, or the data set loaded
    // since, or a folder to start in).
    const QString &lastFile() const { return m_lastFile; }
    void offerFile(const QString &file) { m_lastFile = file; }

    void done(int result) override;

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
    QRadioButton *rbADE = nullptr;
    QCheckBox *ckbZip = nullptr;
    QLabel *lblScheme = nullptr;
    QLineEdit *edtScheme = nullptr; // empty: each national ID's first three letters
    QLabel *lblDensity = nullptr;
    QLineEdit *edtDensity = nullptr; // kilograms per litre, in the locale's form
    QPushButton *btnSave = nullptr;
    QPushButton *btnCancel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    bm::SaveRequest request() const;
    // The JSON settings as typed; raises when the density is no number.
    bm::AdeSettings adeSettings() const;
    void rgFileTypeClick();
    void setAllTicked(bool ticked);
    // Sizes the list to show every entry whole, moving what lies below it and growing the window.
    void fitList();

    bm::Tdm &m_dm;
    bm::ProgressSink &m_progress;
    bm::Prompter &m_prompter;
    QString m_lastFile;   // the save-file dialog starts here
    QStringList m_ticked; // the record types ticked when the dialog last closed
    QString m_summary;
};

} // namespace bm::gui
