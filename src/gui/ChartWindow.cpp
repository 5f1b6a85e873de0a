#include "ChartWindow.h"

#include "Artwork.h"
#include "Command.h"
#include "Error.h"
#include "Prompter.h"
#include "ScreenFit.h"

#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QShortcut>
#include <QVBoxLayout>

namespace bm::gui {

using namespace Qt::StringLiterals;

ChartWindow::ChartWindow(bm::Prompter &prompter, const QString &folder, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_prompter(prompter)
    , m_folder(folder)
{
    setWindowIcon(artwork::windowIcon());
    resize(900, 560);

    lblCaption = new QLabel(this);
    lblCaption->setObjectName(u"lblCaption"_s);
    QFont big = lblCaption->font();
    big.setPointSize(big.pointSize() + 3);
    big.setBold(true);
    lblCaption->setFont(big);
    lblCaption->setWordWrap(true);

    chartView = new QChartView(new QChart, this);
    chartView->setObjectName(u"chartView"_s);
    chartView->setRenderHint(QPainter::Antialiasing);
    chartView->setMinimumSize(400, 250);

    lblNoData = new QLabel(this);
    lblNoData->setObjectName(u"lblNoData"_s);
    lblNoData->setAlignment(Qt::AlignCenter);
    lblNoData->setWordWrap(true);
    lblNoData->setFont(big);
    lblNoData->hide();

    btnSavePng = new QPushButton(u"&Save As PNG..."_s, this);
    btnSavePng->setObjectName(u"btnSavePng"_s);
    btnSavePng->setToolTip(u"Save the chart as it shows now as a PNG picture"_s);
    connect(btnSavePng, &QPushButton::clicked, this, &ChartWindow::btnSavePngClick);
    btnClose = new QPushButton(u"Close"_s, this);
    btnClose->setObjectName(u"btnClose"_s);
    btnClose->setToolTip(u"Close the window (Escape)"_s);
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    m_options = new QHBoxLayout;
    auto *bottom = new QHBoxLayout;
    bottom->addLayout(m_options);
    bottom->addStretch(1);
    bottom->addWidget(btnSavePng);
    bottom->addWidget(btnClose);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lblCaption);
    layout->addWidget(chartView, 1);
    layout->addWidget(lblNoData, 1);
    layout->addLayout(bottom);

    // Within the screen it opens on, over the main window; smaller screens get a smaller chart.
    keepOnScreen(this, parent);
}

QChart *ChartWindow::chart() const
{
    return chartView->chart();
}

void ChartWindow::showChart(const QString &message)
{
    const bool empty = !message.isEmpty();
    lblNoData->setText(message);
    lblNoData->setVisible(empty);
    chartView->setVisible(!empty);
    btnSavePng->setEnabled(!empty);
    for (int i = 0; i < m_options->count(); ++i) {
        if (QWidget *w = m_options->itemAt(i)->widget())
            w->setEnabled(!empty);
    }
}

void ChartWindow::btnSavePngClick()
{
    runCommand(nullptr, m_prompter, [this] {
        QString name = pictureName();
        name.replace(QRegularExpression(u"[/\\\\:*?\"<>|]"_s), u"_"_s);
        const std::optional<QString> chosen = m_prompter.saveFile(
                u"PNG pictures (*.png)"_s, u"png"_s, QDir(m_folder).filePath(name + u".png"_s));
        if (!chosen)
            return;
        QString path = *chosen;
        if (QFileInfo(path).suffix().isEmpty())
            path += u".png"_s;
        const QFileInfo info(path);
        if (info.exists()
            && !m_prompter.askYesNo(
                    u"\"%1\" already exists in \"%2\" and will be replaced.\r\rDo you wish to "
                    "continue."_s.arg(info.fileName(),
                                      QDir::toNativeSeparators(info.absolutePath()))))
            return;
        m_folder = info.absolutePath();
        // Written beside the target and renamed over it, so a failed write leaves the old file.
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || !chartView->grab().save(&file, "PNG")
            || !file.commit())
            throw bm::Error(u"Cannot write the picture \"%1\": %2"_s.arg(
                    QDir::toNativeSeparators(path), file.errorString()));
    });
}

} // namespace bm::gui
