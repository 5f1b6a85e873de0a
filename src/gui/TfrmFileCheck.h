#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;

namespace bm::gui {

// The file-check window: what the checks of the file-check script find, as text. Every run
// appends below the text of the runs before it; closing the window only hides it, so its text
// stays until the program ends. The text may be edited, for notes or to copy from.
class TfrmFileCheck : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmFileCheck(QWidget *parent = nullptr);

    QLabel *lblTitle = nullptr;
    QPlainTextEdit *mOutput = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;
};

} // namespace bm::gui
