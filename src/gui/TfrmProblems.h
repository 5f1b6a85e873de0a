#pragma once

#include "ProblemList.h"

#include <QAbstractTableModel>
#include <QWidget>

class QComboBox;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

namespace bm {
class Prompter;
}

namespace bm::gui {

// The problems of one command as a table: one row per problem, one column per part of it.
class ProblemModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;
    void setProblems(ProblemList problems);
    const ProblemList &problems() const { return m_problems; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    // Display text; the line number as a number, so it sorts as one.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    ProblemList m_problems;
};

// The problem list: every line and field error of the last import, load or merge that had any,
// also those the user chose not to be told of again. A click on a column title sorts by it; the
// file and field lists narrow the rows; Ctrl+C or Copy copies the selected rows (every row
// listed when none is selected) as tab-separated text with the titles; Save As CSV writes the
// rows listed, in their order. Closing the window (Close, Escape) only hides it.
class TfrmProblems : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmProblems(Prompter &prompter, QWidget *parent = nullptr);

    // Shows the problems of the command `caption` and brings the window to the front.
    void showProblems(const QString &caption, ProblemList problems);
    // The list of the last command with problems is kept until the next command that may have
    // any: reopen() shows it again after the window was closed, clearProblems() empties and
    // hides it (that command had none).
    bool hasProblems() const;
    void reopen();
    void clearProblems();
    // The folder Save As CSV opens in until a file is chosen.
    void setFolder(const QString &folder) { m_folder = folder; }
    // The rows listed now, in their order, as indexes into the problem list.
    std::vector<qsizetype> listedRows() const;
    // The selected rows listed (every row listed when none is selected) as tab-separated lines.
    QString copyText() const;

    void cmbFilterChange();
    void btnCopyClick();
    void btnSaveClick();

    QLabel *lblTitle = nullptr;
    QComboBox *cmbFile = nullptr;
    QComboBox *cmbField = nullptr;
    QTableView *tblProblems = nullptr;
    QPushButton *btnCopy = nullptr;
    QPushButton *btnSave = nullptr;
    QPushButton *btnClose = nullptr;

private:
    void updateTitle();

    Prompter &m_prompter;
    QString m_caption;
    ProblemModel *m_model = nullptr;
    QSortFilterProxyModel *m_listed = nullptr;
    QString m_savedName; // the name offered by Save As CSV
    QString m_folder;
};

} // namespace bm::gui
