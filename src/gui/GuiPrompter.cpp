#include "GuiPrompter.h"

#include "Error.h"
#include "Look.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

namespace bm::gui {

using namespace Qt::StringLiterals;

namespace {

// Prompts separate their count from their question with carriage returns alone; a message box
// breaks lines at line feeds.
QString boxText(const QString &text)
{
    QString t = text;
    t.replace(u"\r\n"_s, u"\n"_s);
    t.replace(u'\r', u'\n');
    return t;
}

int runBox(QWidget *parent, QMessageBox::Icon icon, const QString &text,
           QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton)
{
    // A command may have set the busy cursor; a question needs the normal one.
    const bool busy = QApplication::overrideCursor() != nullptr;
    if (busy)
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    QMessageBox box(icon, bm::gui::appTitle(), boxText(text), buttons, parent);
    box.setDefaultButton(defaultButton);
    // A short message makes a narrow box whose title bar cuts the title off: the box is made
    // wide enough for the whole title and the title bar's buttons.
    if (auto *grid = qobject_cast<QGridLayout *>(box.layout())) {
        grid->addItem(new QSpacerItem(titleBarWidth(bm::gui::appTitle()), 0, QSizePolicy::Minimum,
                                      QSizePolicy::Expanding),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    const int answer = box.exec();
    if (busy)
        QApplication::restoreOverrideCursor();
    return answer;
}

} // namespace

GuiPrompter::GuiPrompter(QWidget *parent)
    : m_parent(parent)
{}

QWidget *GuiPrompter::owner() const
{
    // A box asked for from inside a modal dialog (Select Files) belongs over that dialog.
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    // One asked for from another window of the program (the problem list, the file-check
    // window, a chart) belongs over that window, which gets the focus back afterwards and so
    // stays in front of the main window.
    QWidget *active = QApplication::activeWindow();
    if (active && active != m_parent && active->isVisible()) {
        for (const QWidget *w = active->parentWidget(); w; w = w->parentWidget()) {
            if (w == m_parent)
                return active;
        }
    }
    return m_parent;
}

bool GuiPrompter::askYesNo(const QString &text)
{
    return runBox(owner(), QMessageBox::Information, text, QMessageBox::Yes | QMessageBox::No,
                  QMessageBox::Yes)
           == QMessageBox::Yes;
}

bool GuiPrompter::askYesNoDefaultNo(const QString &text)
{
    return runBox(owner(), QMessageBox::Information, text, QMessageBox::Yes | QMessageBox::No,
                  QMessageBox::No)
           == QMessageBox::Yes;
}

bool GuiPrompter::confirm(const QString &text)
{
    return runBox(owner(), QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No,
                  QMessageBox::Yes)
           == QMessageBox::Yes;
}

void GuiPrompter::notify(const QString &text)
{
    runBox(owner(), QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

void GuiPrompter::showError(const QString &message)
{
    runBox(owner(), QMessageBox::Critical, bm::errorBoxText(message), QMessageBox::Ok,
           QMessageBox::Ok);
}

std::optional<QString> GuiPrompter::openFile(const QString &filter, const QString &initial)
{
    const QString file = QFileDialog::getOpenFileName(owner(), QString(), initial, filter);
    if (file.isEmpty())
        return std::nullopt;
    return file;
}

std::optional<QString> GuiPrompter::saveFile(const QString &filter, const QString &defaultSuffix,
                                             const QString &initial)
{
    QFileDialog dialog(owner(), QString(), initial, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    // The save asks once about every file it replaces (the files written are named after the
    // chosen one, which itself may never be written).
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> GuiPrompter::inputText(const QString &caption, const QString &prompt,
                                              const QString &initial)
{
    QInputDialog dialog(owner());
    dialog.setWindowTitle(caption);
    dialog.setLabelText(boxText(prompt));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(initial);
    // The title bar shows the whole caption: the input is made wide enough for it (the dialog
    // takes its width from its contents).
    if (auto *edit = dialog.findChild<QLineEdit *>()) {
        const QMargins margins = dialog.layout() ? dialog.layout()->contentsMargins() : QMargins();
        edit->setMinimumWidth(titleBarWidth(caption) - margins.left() - margins.right());
    }
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

std::optional<int> GuiPrompter::chooseItem(const QString &caption, const QString &question,
                                           const QStringList &items)
{
    bool ok = false;
    const QString item
            = QInputDialog::getItem(owner(), caption, boxText(question), items, 0, false, &ok);
    if (!ok)
        return std::nullopt;
    return int(items.indexOf(item));
}

} // namespace bm::gui
