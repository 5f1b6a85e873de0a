#pragma once

#include <QStringList>
#include <QWidget>

namespace bm::gui {

// A row of tabs of one fixed size that wraps onto further rows when the tabs do not fit across,
// above one shared page (the grid). The selected tab's caption names the current table.
class TabStrip : public QWidget
{
    Q_OBJECT
public:
    explicit TabStrip(QWidget *parent = nullptr);

    void setTabSize(const QSize &size);
    int addTab(const QString &text);
    int count() const { return int(m_tabs.size()); }
    QString tabText(int index) const { return m_tabs.value(index); }
    // The tooltip of a tab (the record type's name beside its code).
    void setTabToolTip(int index, const QString &tip);
    QString tabToolTip(int index) const { return m_tips.value(index); }
    int currentIndex() const { return m_current; }
    // Selects a tab; emits currentChanged() when the selection changes.
    void setCurrentIndex(int index);
    QRect tabRect(int index) const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void currentChanged(int index);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int tabsPerRow(int width) const;
    QStringList m_tabs;
    QStringList m_tips;
    int m_current = -1;
    QSize m_tabSize{85, 20};
};

} // namespace bm::gui
