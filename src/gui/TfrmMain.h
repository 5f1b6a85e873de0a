#pragma once

#include "FilterQuery.h"

#include <QDate>
#include <QHash>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSettings;

namespace bm {
class FolderLock;
class GridModel;
class Maintenance;
class ProblemList;
class ProgressSink;
class Prompter;
class Tdm;
} // namespace bm

namespace bm::gui {

class DataGrid;
class DateBox;
class TabStrip;
class TfrmAbout;
class TfrmFileCheck;
class TfrmProblems;
class TfrmHerdSummary;
class TfrmLactationCheck;
class TfrmLactationCurves;
class TfrmProgress;
class TfrmSaveFiles;

// The main window: one record-type table at a time in the grid, one tab per record type, the
// filter bar and the File menu above, the status line below. Closing it compacts the database.
class TfrmMain : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmMain(QWidget *parent = nullptr);
    ~TfrmMain() override;

    // The data module, the other windows and the prompter, created after this window at
    // start-up and living as long as it does.
    struct Forms
    {
        bm::Tdm *dm = nullptr;
        TfrmProgress *frmProgress = nullptr;
        TfrmAbout *frmAbout = nullptr;
        bm::Prompter *prompter = nullptr;
        TfrmSaveFiles *frmSaveFiles = nullptr;
        TfrmFileCheck *frmFileCheck = nullptr;
        TfrmProblems *frmProblems = nullptr;
    };
    void attach(const Forms &forms);

    // The current table: the caption of the selected tab.
    QString currentTable() const;
    // The tab captions: the record types in order.
    QStringList tables() const;
    // The number of rows listed in the grid.
    int recordsListed() const;
    bm::GridModel *gridModel() const { return qData; }

    // What the filter bar and the grid's sort hold now.
    bm::FilterState filterState() const;
    QString CreateSQL(bool WhereOnly);
    int GetFieldType(const QString &FieldName);

    // Drops a filter field or sort column that the current table lacks, re-queries and
    // refills the field list.
    void ChangeFile();
    // Re-queries with the filter bar and the sort as they are, sets the display formats and
    // the status line.
    void SetSQL();
    void FillCombo();
    void FormatGrid(const QString &TableName);
    // The status line: "<description>  :  <count>  Records Listed" for the rows the grid lists.
    void showRecordsListed();
    // After `command` changed data: the grid lists the current table as it now is, under the
    // filter last applied (not what the filter bar holds now, which may never have been applied)
    // and the same sort, and the status line counts it. A re-read that fails says that the
    // command has finished and why the grid cannot list the table, and the status line no longer
    // gives the old count.
    void showDataAfter(const QString &command);
    // What the last command did, beside the status line ("Loaded ...", "Saved ...").
    void showMessage(const QString &text);
    QString message() const;
    void ClearFilter();
    // Compacts <home><SourceName>.db, keeping the state at close as <home><DestName>.db.
    bool PackDB(const QString &SourceName, const QString &DestName);
    // The close sequence: writes an open grid edit, closes the connection, compacts.
    void FormClose();

    // The data layer's probes and the import, as the commands use them.
    qint64 GetRecordCount(const QString &strSQL);
    static QString USADate(const QDate &s);
    static QString SQLDate(const QDate &s);
    static QString GetDIFVersion(const QString &FName);
    void ImportFile(const QString &FileName, const QString &TableName, const QString &DefName);

    // Runs one command: an error ends it and is shown in the standard error box, and however it
    // ends the progress window is hidden and the normal cursor restored. False on an error.
    bool runCommand(const std::function<void()> &command);
    // Writes an open grid edit and the current row's unwritten changes. Raises on failure.
    void postEdits();

    // Event handlers.
    void FormShow();
    void tcChange(int index);
    void cmbFilterChange(int index);
    void cmbOperatorChange(int index);
    void btnApplyClick();
    void btnClearClick();
    void dbgTitleClick(int section);
    // Ctrl+Tab, F6: the focus goes from the filter bar to the grid, or from anywhere else back
    // to the filter bar's control that had it last.
    void switchFocusArea();
    // F3 (View menu): sorts by the grid's current column as a click on its title does, so a
    // second F3 reverses the order.
    void sortByCurrentColumn();
    void dbgInsert();
    void dbgDelete();
    void LoadFiles1Click();
    void About1Click();
    // Save Files: the Select Files dialog with one unticked entry per tab.
    void SaveFiles1Click();
    // File Check: runs the program folder's FileCheck.SQL; what its checks find is appended to
    // the file-check window, which comes up when a check finds rows. Window events run between
    // the script's lines; closing the main window meanwhile ends the run after its line.
    void Analyse1Click();
    bool fileCheckRunning() const { return m_checkRunning; }

    // The maintenance commands of the File menu. Each is one transaction; afterwards the grid
    // re-reads its rows with its filter and sort as they were and the status line counts them.
    void RemoveDataForCowsNotIn1021Click();
    void RemoveCowsNotIn1031Click();
    // One clean-up step: the rows of ClientTable without a partner in MasterTable, on request.
    void FileClean(const QString &MasterTable, const QString &ClientTable);
    // Trimming by the filter the grid shows.
    void ApplyFilterToCurrentTable1Click();
    void RemoveFilteredDataFromCurrrentTable1Click();
    // The input box opens on the herd code of the grid's current row.
    void ChangeHerdcode1Click();
    // The open dialog opens on the file last chosen in it and keeps the ".102" name.
    void MergeNationalIDs1Click();

    // Edit, Undo: puts the herd data back as it was before the last bulk command that changed
    // it, after asking; undoing again redoes it. The grid then shows the table as it now is.
    void Undo1Click();
    // The Edit menu's item names what there is to undo, disabled when there is nothing.
    void refreshUndo();
    // File > Open Database...: picks Tembra.db or a server and opens it in place of the one open.
    void OpenDatabase1Click();
    // Connects the data module to its herd database (dm->server(), else Tembra.db), asking for
    // the server's password when it wants one; the password is kept for this session only.
    void connectHerdDatabase();
    // The title bar and the status line say which herd database is open.
    void showDatabase();
    // The View menu and the grid's context menu: charts of the current row's cow (a row of 102,
    // 103 or 104) and of its herd, each in a window of its own that the next use shows again.
    void LactationCurves1Click();
    void HerdSummary1Click();
    // View, Problems: the problem list of the last load, import or merge that had problems,
    // shown again after it was closed (the next such command replaces it).
    void Problems1Click();
    TfrmLactationCurves *frmLactationCurves() const { return m_frmLactationCurves; }
    TfrmHerdSummary *frmHerdSummary() const { return m_frmHerdSummary; }
    // View, Lactation Check: checks the 305-day yields of every lactation against its test days
    // and lists them in a window of its own, which the next use shows again, checked anew.
    void LactationCheck1Click();
    TfrmLactationCheck *frmLactationCheck() const { return m_frmLactationCheck; }

    // The steps of Load Files.
    QString UnZipFile(const QString &FName);
    QString SplitDIF(const QString &FName);
    void DeleteFileSpec(const QString &FSpec);

    // Where the file dialogs open: the folder of the data last loaded, merged or saved, from one
    // run to the next; the user's documents folder before any, never the program folder. With a
    // trailing separator.
    QString dataFolder() const;
    void usedDataFile(const QString &file);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildTopBar();
    // Places the title, the File button, the filter bar and the artwork for the window's width:
    // the filter bar shrinks where the window is narrow and wraps onto a second row where even
    // that does not fit; the artwork at the right shows only where nothing overlaps it.
    void layoutTopBar();
    void buildMenu();
    // The View button and menu, and the grid's context menu with the same commands.
    void buildViewMenu();
    void updateViewActions();
    void dbgContextMenu(const QPoint &position);
    void setDateMode(bool dateMode);
    void setPairsEnabled(bool start, bool end);
    void focusNextAfter(QWidget *widget);
    void showSortIndicator();
    void sizeColumns();
    // Column widths the user set, per table and column, kept while the program runs and in
    // Brindlemark.ini of the program folder from one run to the next.
    void rememberWidth(int section, int width);
    void loadWidths();
    // The date of the current row (or the first row) in column `field`, where the calendar of
    // the date inputs opens.
    QDate dateInGrid(const QString &field) const;
    // Runs the maintenance command of menu item `item`; `removes`: it removes records (else it
    // changes them).
    void runMaintenance(const QAction *item, bool removes,
                        const std::function<void(bm::Maintenance &)> &command);
    // The query the grid shows when it lists the current table, else the current table without
    // a filter.
    bm::FilterQuery appliedQuery() const;
    static QString tableDescription(const QString &table);
    // Lists the problems of a command that ran in the problem-list window, or empties the list
    // when it had none.
    void showProblems(const QString &caption, bm::ProblemList &problems);
    QString currentRecordText(const QString &column) const;
    // The filter the grid shows, which the trimming commands count and delete by.
    bm::FilterQuery shownFilter() const;
    bm::ProgressSink &progress();

    bm::Tdm *dm = nullptr;
    TfrmProgress *frmProgress = nullptr;
    TfrmAbout *frmAbout = nullptr;
    TfrmSaveFiles *frmSaveFiles = nullptr;
    TfrmFileCheck *frmFileCheck = nullptr;
    TfrmProblems *frmProblems = nullptr;
    bm::Prompter *m_prompter = nullptr;
    // qData: the browse query, the rows the grid shows (its statement is set by SetSQL).
    bm::GridModel *qData = nullptr;

    QWidget *pnlTop = nullptr;
    QLabel *imgLogo = nullptr;
    QLabel *imgBanner = nullptr;
    QLabel *lblTitle = nullptr;
    QPushButton *btnActions = nullptr;
    QMenu *pumActions = nullptr;
    QPushButton *btnEdit = nullptr;
    QMenu *pumEdit = nullptr;
    QLabel *lblFilter = nullptr;
    QComboBox *cmbFilter = nullptr;
    QComboBox *cmbOperator = nullptr;
    QLineEdit *edtStart = nullptr;
    DateBox *deStart = nullptr;
    QLabel *lblAnd = nullptr;
    QLineEdit *edtEnd = nullptr;
    DateBox *deEnd = nullptr;
    QPushButton *btnApply = nullptr;
    QPushButton *btnClear = nullptr;
    QPointer<QWidget> m_filterFocus; // the filter bar's control that had the focus last
    TabStrip *tc = nullptr;
    DataGrid *dbg = nullptr;
    QLabel *pnlBottom = nullptr;
    QLabel *lblMessage = nullptr; // beside the status line: what the last command did
    QString m_message;

    QAction *LoadFiles1 = nullptr;
    QAction *SaveFiles1 = nullptr;
    QAction *ApplyFilterToCurrentTable1 = nullptr;
    QAction *RemoveFilteredDataFromCurrrentTable1 = nullptr;
    QAction *RemoveDataForCowsNotIn1021 = nullptr;
    QAction *RemoveCowsNotIn1031 = nullptr;
    QAction *ChangeHerdcode1 = nullptr;
    QAction *MergeNationalIDs1 = nullptr;
    QAction *Analyse1 = nullptr;
    QAction *About1 = nullptr;
    QAction *OpenDatabase1 = nullptr;
    QAction *Undo1 = nullptr;

    QPushButton *btnView = nullptr;
    QMenu *pumView = nullptr;
    QMenu *pumGrid = nullptr; // the grid's context menu
    QAction *LactationCurves1 = nullptr;
    QAction *HerdSummary1 = nullptr;
    QAction *LactationCheck1 = nullptr;
    QAction *Problems1 = nullptr;
    QAction *SortColumn1 = nullptr;
    TfrmLactationCurves *m_frmLactationCurves = nullptr;
    TfrmLactationCheck *m_frmLactationCheck = nullptr;
    TfrmHerdSummary *m_frmHerdSummary = nullptr;

    // The open-file dialog od opens on the file last chosen in it.
    QString odFileName;
    // The folder of the data last loaded, merged or saved, where the file dialogs open (kept in
    // Brindlemark.ini), and the data set loaded last, without its extension.
    QString m_dataFolder;
    QString m_dataSet;

    bool m_dateMode = false;
    int m_fieldPos = -1; // the field list position the input mode was last set for
    bm::SortState m_sort;
    QHash<QString, QHash<QString, int>> m_widths; // table -> column -> width the user set
    bool m_sizing = false;                        // the program itself is setting column widths
    std::unique_ptr<QSettings> m_settings;
    bool m_shown = false;
    bool m_closed = false;
    bool m_checkRunning = false;
    bool m_closeAfterCheck = false;
    // The lock of the program folder, held from the first show through compaction at close.
    std::unique_ptr<bm::FolderLock> m_lock;
};

} // namespace bm::gui
