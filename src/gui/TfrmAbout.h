#pragma once

#include <QDialog>

class QPushButton;

namespace bm::gui {

class HyperlinkLabel;

// The about box: our picture, the support contact and the web address, and a Close button. It
// has no border or caption and stays on top; the main window shows it modally.
class TfrmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget *parent = nullptr);

    static const char *const kSupportMail;
    static const char *const kWebAddress;

    HyperlinkLabel *lblMail = nullptr;
    HyperlinkLabel *lblWeb = nullptr;
    QPushButton *btnClose = nullptr;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace bm::gui
