#pragma once

#include "Prompter.h"

#include <QPointer>
#include <QWidget>

namespace bm::gui {

// Every modal interaction of the core as a Qt dialog over the main window. Message boxes carry
// the application title; the standard error box shows the error icon and the message as
// errorBoxText() gives it.
class GuiPrompter final : public bm::Prompter
{
public:
    explicit GuiPrompter(QWidget *parent);

    bool askYesNo(const QString &text) override;
    bool confirm(const QString &text) override;
    bool askYesNoDefaultNo(const QString &text) override;
    void notify(const QString &text) override;
    void showError(const QString &message) override;
    std::optional<QString> openFile(const QString &filter, const QString &initial) override;
    std::optional<QString> saveFile(const QString &filter, const QString &defaultSuffix,
                                    const QString &initial) override;
    std::optional<QString> inputText(const QString &caption, const QString &prompt,
                                     const QString &initial) override;
    std::optional<int> chooseItem(const QString &caption, const QString &question,
                                  const QStringList &items) override;

private:
    QWidget *owner() const;

    QPointer<QWidget> m_parent;
};

} // namespace bm::gui
