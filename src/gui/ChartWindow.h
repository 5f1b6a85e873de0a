#pragma once

#include <QWidget>

class QChart;
class QChartView;
class QHBoxLayout;
class QLabel;
class QPushButton;

namespace bm {
class Prompter;
}

namespace bm::gui {

// What the two chart windows share: a caption over the chart, a row of options and the buttons
// Save As PNG and Close under it, and a message in place of the chart when there is nothing to
// draw. Closing the window only hides it; the main window shows it again with new figures.
class ChartWindow : public QWidget
{
    Q_OBJECT
public:
    // `folder` is where the save dialog first opens.
    ChartWindow(bm::Prompter &prompter, const QString &folder, QWidget *parent);

    QLabel *lblCaption = nullptr;
    QChartView *chartView = nullptr;
    QLabel *lblNoData = nullptr; // instead of the chart when there is nothing to draw
    QPushButton *btnSavePng = nullptr;
    QPushButton *btnClose = nullptr;

    QChart *chart() const;
    // The folder the save dialog opens in next.
    void setFolder(const QString &folder) { m_folder = folder; }
    // Asks for a file name and writes the chart as it shows now into it as a PNG image; a file
    // that exists is replaced only after asking. Errors are shown.
    void btnSavePngClick();

protected:
    // The options row, left of the buttons.
    QHBoxLayout *options() const { return m_options; }
    // Shows the chart, or `message` in its place when it is not empty.
    void showChart(const QString &message);
    // The file name offered for the picture, without folder and extension.
    virtual QString pictureName() const = 0;

private:
    bm::Prompter &m_prompter;
    QString m_folder;
    QHBoxLayout *m_options = nullptr;
};

} // namespace bm::gui
