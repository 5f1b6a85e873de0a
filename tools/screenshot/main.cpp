// bm-screenshot --home DIR --out FILE.png [--load FILE] [--tab CODE]
//               [--filter FIELD|OPERATOR|START[|END]] [--sort COLUMN] [--size WIDTHxHEIGHT]
//               [--file-check] [--problems] [--lactation NATIONALID] [--herd-summary HERDCODE]
//               [--lactation-check PERCENT]
// bm-screenshot --icon --out FILE.png
// Starts the main window on the program folder DIR as the program does, loads a data set with
// its Load Files command, selects a tab, fills in the filter bar as typed and applies it, clicks
// a column title, and saves a picture of the window; with --file-check it runs File Check on
// the folder's FileCheck.SQL and saves a picture of the file-check window instead; with
// --problems it saves a picture of the problem list the load showed (its prompts are answered
// No, as a user does who has seen enough of them); with --lactation or --herd-summary it makes
// the first row of the tab with that national ID or herd code the current row, opens Lactation
// Curves (with Fat % ticked) or Herd Summary from the View menu and saves a picture of the chart
// window; with --lactation-check it opens View > Lactation Check, sets the tolerance to PERCENT
// and pictures that window. Messages the window would show in a box go to stderr. With --icon it
// saves the program's icon at 256 x 256 (the installed icon) and exits.
#include "Artwork.h"
#include "Error.h"
#include "GridModel.h"
#include "Program.h"
#include "Prompter.h"
#include "TabStrip.h"
#include "TfrmHerdSummary.h"
#include "TfrmLactationCheck.h"
#include "TfrmLactationCurves.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCommandLineParser>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace bm::gui;

namespace {

class StderrPrompter final : public bm::Prompter
{
public:
    bool askYesNo(const QString &text) override
    {
        print(text);
        if (answerNo)
            ++asked;
        return !answerNo;
    }
    bool answerNo = false;
    int asked = 0; // questions answered No
    void notify(const QString &text) override { print(text); }
    void showError(const QString &message) override { print(bm::errorBoxText(message)); }
    std::optional<QString> openFile(const QString &, const QString &) override
    {
        if (chosen.isEmpty())
            return {};
        return chosen;
    }
    QString chosen; // the file the open-file dialog gives
    std::optional<QString> saveFile(const QString &, const QString &, const QString &) override
    {
        return {};
    }
    std::optional<QString> inputText(const QString &, const QString &, const QString &) override
    {
        return {};
    }
    int messages = 0;

private:
    void print(const QString &text)
    {
        ++messages;
        std::fprintf(stderr, "bm-screenshot: %s\n", qPrintable(text));
    }
};

} // namespace

int main(int argc, char *argv[])
{
    // The offscreen platform's screen is 800 x 800 unless told otherwise; windows keep to the
    // screen they open on, so the pictures are taken on a larger one.
    QTemporaryDir screenDir;
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen" && screenDir.isValid()) {
        QFile config(screenDir.filePath(u"screen.json"_s));
        if (config.open(QIODevice::WriteOnly)
            && config.write(R"({"screens": [{"name": "large", "x": 0, "y": 0, "width": 1920,
                               "height": 1200, "logicalDpi": 96, "logicalBaseDpi": 96,
                               "dpr": 1}]})")
                       > 0) {
            config.close();
            qputenv("QT_QPA_PLATFORM",
                    "offscreen:configfile=" + QFile::encodeName(config.fileName()));
        }
    }
    QApplication app(argc, argv);
    prepareApplication();

    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption homeOption(u"home"_s, u"Program folder."_s, u"DIR"_s);
    const QCommandLineOption outOption(u"out"_s, u"Picture file (PNG)."_s, u"FILE"_s);
    const QCommandLineOption tabOption(u"tab"_s, u"Record type to show."_s, u"CODE"_s);
    const QCommandLineOption sortOption(u"sort"_s, u"Column title to click."_s, u"COLUMN"_s);
    const QCommandLineOption sizeOption(u"size"_s, u"Window size."_s, u"WxH"_s, u"1280x720"_s);
    const QCommandLineOption checkOption(u"file-check"_s,
                                         u"Run File Check and picture its window."_s);
    const QCommandLineOption problemsOption(u"problems"_s,
                                            u"Picture the problem list of the load."_s);
    const QCommandLineOption loadOption(u"load"_s, u"Data set to load with Load Files."_s,
                                        u"FILE"_s);
    const QCommandLineOption filterOption(
            u"filter"_s, u"Filter to type and apply: field, operator, values, split by |."_s,
            u"FILTER"_s);
    const QCommandLineOption lactationOption(
            u"lactation"_s, u"Picture the lactation curves of this cow."_s, u"NATIONALID"_s);
    const QCommandLineOption herdOption(u"herd-summary"_s,
                                        u"Picture the herd summary of this herd."_s, u"HERD"_s);
    const QCommandLineOption iconOption(u"icon"_s, u"Save the program's icon instead."_s);
    const QCommandLineOption yieldsOption(
            u"lactation-check"_s, u"Picture Lactation Check at this tolerance."_s, u"PERCENT"_s);
    parser.addOptions({homeOption, outOption, tabOption, sortOption, sizeOption, checkOption,
                       problemsOption, loadOption, filterOption, lactationOption, herdOption,
                       iconOption, yieldsOption});
    parser.process(app);
    if (parser.isSet(iconOption) && parser.isSet(outOption))
        return artwork::windowIcon().pixmap(QSize(256, 256), 1.0).save(parser.value(outOption)) ? 0
                                                                                                : 1;
    if (!parser.isSet(homeOption) || !parser.isSet(outOption))
        parser.showHelp(2);

    const QStringList size = parser.value(sizeOption).split(u'x');
    StderrPrompter prompter;
    prompter.answerNo = parser.isSet(problemsOption);
    Program program(QDir(parser.value(homeOption)).absolutePath() + u'/', &prompter);
    TfrmMain &frmMain = program.frmMain;
    TfrmFileCheck &frmFileCheck = program.frmFileCheck;
    frmMain.resize(size.value(0).toInt(), size.value(1).toInt());
    frmMain.show();
    if (parser.isSet(loadOption)) {
        prompter.chosen = QFileInfo(parser.value(loadOption)).absoluteFilePath();
        frmMain.LoadFiles1Click();
    }
    if (parser.isSet(tabOption)) {
        const int index = frmMain.tables().indexOf(parser.value(tabOption));
        if (index < 0) {
            std::fprintf(stderr, "bm-screenshot: no tab %s\n", qPrintable(parser.value(tabOption)));
            return 2;
        }
        frmMain.findChild<TabStrip *>(u"tc"_s)->setCurrentIndex(index);
    }
    if (parser.isSet(filterOption)) {
        // The filter bar as a user fills it in: the field and the operator picked, the values
        // typed into whichever inputs the field shows.
        const QStringList parts = parser.value(filterOption).split(u'|');
        auto *field = frmMain.findChild<QComboBox *>(u"cmbFilter"_s);
        auto *op = frmMain.findChild<QComboBox *>(u"cmbOperator"_s);
        field->setCurrentIndex(field->findText(parts.value(0)));
        frmMain.cmbFilterChange(field->currentIndex());
        op->setCurrentIndex(op->findText(parts.value(1)));
        frmMain.cmbOperatorChange(op->currentIndex());
        const bool dates = frmMain.findChild<QWidget *>(u"deStart"_s)->isVisibleTo(&frmMain);
        const char *inputs[2][2] = {{"edtStart", "edtEnd"}, {"deStart", "deEnd"}};
        for (int i = 0; i < 2 && 2 + i < parts.size(); ++i) {
            QWidget *input = frmMain.findChild<QWidget *>(QString::fromLatin1(inputs[dates][i]));
            auto *edit = qobject_cast<QLineEdit *>(input);
            if (!edit)
                edit = input->findChild<QLineEdit *>();
            edit->setText(parts.at(2 + i));
        }
        frmMain.btnApplyClick();
    }
    if (parser.isSet(sortOption)) {
        const int column = frmMain.gridModel()->columnIndex(parser.value(sortOption));
        if (column < 0) {
            std::fprintf(stderr, "bm-screenshot: no column %s\n",
                         qPrintable(parser.value(sortOption)));
            return 2;
        }
        frmMain.dbgTitleClick(column);
    }
    auto *grid = frmMain.findChild<QAbstractItemView *>(u"dbg"_s);
    grid->setCurrentIndex(grid->model()->index(0, 0));
    QApplication::processEvents();
    QWidget *pictured = &frmMain;
    if (parser.isSet(checkOption)) {
        frmMain.Analyse1Click();
        if (!frmFileCheck.isVisible()) {
            std::fprintf(stderr, "bm-screenshot: File Check found nothing to show\n");
            return 1;
        }
        // The first findings in view, as after a run that started with an empty window.
        frmFileCheck.mOutput->moveCursor(QTextCursor::Start);
        pictured = &frmFileCheck;
        QApplication::processEvents();
    }
    if (parser.isSet(problemsOption)) {
        TfrmProblems &frmProblems = program.frmProblems;
        if (!frmProblems.isVisible()) {
            std::fprintf(stderr, "bm-screenshot: the load listed no problems\n");
            return 1;
        }
        frmProblems.resize(960, 420);
        pictured = &frmProblems;
        QApplication::processEvents();
    }
    for (const auto &[option, column] :
         {std::pair{&lactationOption, u"NationalID"_s}, std::pair{&herdOption, u"HerdCode"_s}}) {
        if (!parser.isSet(*option))
            continue;
        bm::GridModel *model = frmMain.gridModel();
        const int c = model->columnIndex(column);
        int row = 0;
        while (row < model->rowCount()
               && model->index(row, c).data(Qt::EditRole).toString() != parser.value(*option))
            ++row;
        if (c < 0 || row == model->rowCount()) {
            std::fprintf(stderr, "bm-screenshot: no row with %s %s\n", qPrintable(column),
                         qPrintable(parser.value(*option)));
            return 2;
        }
        grid->setCurrentIndex(model->index(row, c));
        QWidget *window = nullptr;
        if (option == &lactationOption) {
            frmMain.LactationCurves1Click();
            if (TfrmLactationCurves *curves = frmMain.frmLactationCurves()) {
                curves->chkFat->setChecked(true);
                window = curves;
            }
        } else {
            frmMain.HerdSummary1Click();
            window = frmMain.frmHerdSummary();
        }
        if (!window)
            return 1;
        window->resize(size.value(0).toInt(), size.value(1).toInt());
        pictured = window;
        QApplication::processEvents();
    }
    if (parser.isSet(yieldsOption)) {
        frmMain.LactationCheck1Click();
        TfrmLactationCheck *check = frmMain.frmLactationCheck();
        if (!check || !check->isVisible())
            return 1;
        check->edtTolerance->setValue(parser.value(yieldsOption).toDouble());
        check->resize(size.value(0).toInt(), size.value(1).toInt());
        pictured = check;
        QApplication::processEvents();
    }
    const QPixmap picture = pictured->grab();
    if (!picture.save(parser.value(outOption))) {
        std::fprintf(stderr, "bm-screenshot: cannot write %s\n",
                     qPrintable(parser.value(outOption)));
        return 1;
    }
    // No compaction: the folder is only looked at (the program closes without FormClose).
    return prompter.messages == prompter.asked ? 0 : 1;
}
