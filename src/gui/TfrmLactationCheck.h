#pragma once

#include "LactationCheck.h"

#include <QAbstractTableModel>
#include <QWidget>

#include <vector>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QPushButton;
class QTableView;

namespace bm {
class ProgressSink;
class Prompter;
class Tdm;
} // namespace bm

namespace bm::gui {

class TfrmLactationCurves;

// The lactations of one check, one row each, one column per figure.
class LactationCheckModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setRows(std::vector<bm::LactationCheckRow> rows);
    const bm::LactationCheckRow &row(int row) const { return m_rows.at(size_t(row)); }
    // The flags and the status follow the tolerance.
    void setTolerance(double tolerance);
    double tolerance() const { return m_tolerance; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    // The cells as the window shows them (the locale's decimal separator); flagged rows tinted.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<bm::LactationCheckRow> m_rows;
    double m_tolerance = bm::kDefaultTolerance;
};

// Lactation Check: every lactation of table 103 with its stated and computed 305-day milk, fat
// and protein, the differences in percent, the tests used and the status, flagged where a
// difference is over the tolerance set in the window. A click on a column title sorts by it;
// Flagged Only lists the flagged rows; Ctrl+C or Copy copies the selected rows (every row listed
// when none is selected) as tab-separated text with the titles; Save As CSV writes the rows
// listed, in their order, as the command line's yields command writes them; a double-click shows
// the lactation's curve with its computed yield written on it. Closing the window only hides it.
class TfrmLactationCheck : public QWidget
{
    Q_OBJECT
public:
    TfrmLactationCheck(bm::Tdm &dm, bm::ProgressSink &progress, bm::Prompter &prompter,
                       QWidget *parent = nullptr);

    // Checks the herd database as it is now and lists the result. Raises on error.
    void runCheck();
    const LactationCheckModel &model() const { return *m_model; }
    // The rows listed now, in their order, as rows of the model.
    std::vector<int> listedRows() const;
    // The selected rows listed (every row listed when none is selected) as tab-separated lines.
    QString copyText() const;

    void edtToleranceChange();
    void ckbFlaggedClick();
    void btnCopyClick();
    void btnSaveClick();
    // Shows the curve of the lactation of a listed row.
    void tblCheckDblClick(const QModelIndex &index);
    TfrmLactationCurves *frmCurve() const { return m_frmCurve; }

    QLabel *lblTitle = nullptr;
    QDoubleSpinBox *edtTolerance = nullptr;
    QCheckBox *ckbFlagged = nullptr;
    QTableView *tblCheck = nullptr;
    QPushButton *btnCopy = nullptr;
    QPushButton *btnSave = nullptr;
    QPushButton *btnClose = nullptr;

private:
    void updateTitle();

    bm::Tdm &m_dm;
    bm::ProgressSink &m_progress;
    bm::Prompter &m_prompter;
    LactationCheckModel *m_model = nullptr;
    class CheckFilter *m_listed = nullptr;
    TfrmLactationCurves *m_frmCurve = nullptr;
    QString m_savedName; // the name offered by Save As CSV
};

} // namespace bm::gui
