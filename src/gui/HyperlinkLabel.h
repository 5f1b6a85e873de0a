#pragma once

#include <QLabel>
#include <QUrl>

namespace bm::gui {

// A label that opens a link when clicked: blue, bold and underlined, red while the mouse is over
// it, with the hand-pointer cursor.
class HyperlinkLabel : public QLabel
{
    Q_OBJECT
public:
    HyperlinkLabel(const QString &text, const QUrl &url, QWidget *parent = nullptr);
    const QUrl &url() const { return m_url; }

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void setColour(const QColor &colour);
    QUrl m_url;
};

} // namespace bm::gui
