#include "GuiPrompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace bm::gui;

// The message boxes as the user sees them: caption, icon, text and the button pressed.
class GuiPrompterTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void boxesCarryTheTitleIconAndText();
    void aChoiceGivesTheItemPicked();
    void inputBoxShowsItsWholeCaption();
    void boxesBelongToTheWindowTheyAreAskedFrom();

private:
    struct Seen
    {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int width = 0;
    };
    // Presses `button` on the next message box once it is up, and records what it showed.
    void answer(QMessageBox::StandardButton button, Seen &seen)
    {
        QTimer::singleShot(0, this, [button, &seen] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen = {box->windowTitle(), box->text(), box->icon(), box->width()};
            box->button(button)->click();
        });
    }
};

void GuiPrompterTest::boxesCarryTheTitleIconAndText()
{
    QWidget window;
    GuiPrompter prompter(&window);
    Seen seen;

    answer(QMessageBox::Ok, seen);
    prompter.showError(u"Disk full"_s);
    QCOMPARE(seen.title, u"Corvelle Brindlemark"_s);
    QCOMPARE(seen.text, u"Disk full."_s);
    QCOMPARE(seen.icon, QMessageBox::Critical);

    // A short text still gives a box wide enough for its whole title and the title bar's
    // buttons.
    answer(QMessageBox::Ok, seen);
    prompter.notify(u"Incomplete Filter."_s);
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    QVERIFY2(seen.width >= QFontMetrics(titleFont).horizontalAdvance(seen.title) + 140,
             qPrintable(QString::number(seen.width)));

    answer(QMessageBox::Ok, seen);
    prompter.showError(u"Cannot open 'x' (in use)"_s);
    QCOMPARE(seen.text, u"Cannot open 'x' (in use)"_s); // ")" sorts before "."

    // A count, two carriage returns, the question: shown on separate lines.
    answer(QMessageBox::No, seen);
    QVERIFY(!prompter.askYesNo(u"12 Records Found.\r\rDo you wish to remove them."_s));
    QCOMPARE(seen.text, u"12 Records Found.\n\nDo you wish to remove them."_s);
    QCOMPARE(seen.icon, QMessageBox::Information);
    answer(QMessageBox::Yes, seen);
    QVERIFY(prompter.confirm(u"Delete record?"_s));
    QCOMPARE(seen.icon, QMessageBox::Question);
}

// The choice of a data set: a list of the items, the one picked with the keys and OK, or none
// with Cancel.
void GuiPrompterTest::aChoiceGivesTheItemPicked()
{
    QWidget window;
    GuiPrompter prompter(&window);
    const QStringList items{u"2020/herd (12 per-type files)"_s, u"all.DIF (combined file)"_s};
    QString question;
    QStringList listed;
    auto pick = [&](bool ok) {
        QTimer::singleShot(0, this, [&, ok] {
            auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            question = dialog->labelText();
            auto *box = dialog->findChild<QComboBox *>();
            listed.clear();
            for (int i = 0; box && i < box->count(); ++i)
                listed << box->itemText(i);
            if (box)
                QTest::keyClick(box, Qt::Key_Down);
            auto *buttons = dialog->findChild<QDialogButtonBox *>();
            buttons->button(ok ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
        });
    };
    pick(true);
    QCOMPARE(prompter.chooseItem(u"Load Files"_s, u"Which one?"_s, items), std::optional<int>(1));
    QCOMPARE(question, u"Which one?"_s);
    QCOMPARE(listed, items);
    pick(false);
    QCOMPARE(prompter.chooseItem(u"Load Files"_s, u"Which one?"_s, items), std::nullopt);
}

void GuiPrompterTest::inputBoxShowsItsWholeCaption()
{
    QApplication::setApplicationDisplayName(u"Corvelle Brindlemark"_s);
    QWidget window;
    GuiPrompter prompter(&window);
    QString title;
    int width = 0;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        if (!box)
            return;
        title = box->windowTitle();
        width = box->width();
        box->setTextValue(u"NEWHC"_s);
        box->accept();
    });
    QCOMPARE(prompter.inputText(u"Change Herdcode"_s, u"Enter New Herdcode"_s, u"H1"_s),
             std::optional<QString>(u"NEWHC"_s));
    QCOMPARE(title, u"Change Herdcode"_s);
    // The title bar shows the caption and the program's name after it, whole.
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    QVERIFY2(width > QFontMetrics(titleFont).horizontalAdvance(
                     u"Change Herdcode \u2014 Corvelle Brindlemark"_s),
             qPrintable(QString::number(width)));

    QTimer::singleShot(0, this, [] {
        if (auto *box = QApplication::activeModalWidget())
            static_cast<QDialog *>(box)->reject();
    });
    QCOMPARE(prompter.inputText(u"Change Herdcode"_s, u"Enter New Herdcode"_s, u"H1"_s),
             std::nullopt);
}

void GuiPrompterTest::boxesBelongToTheWindowTheyAreAskedFrom()
{
    // A box asked for while another window of the program is active (the problem list, the
    // file-check window) is that window's: the window system gives it the focus back once the
    // box is closed, so it stays in front of the main window.
    QWidget window;
    QWidget other(&window, Qt::Window);
    window.show();
    other.show();
    other.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    GuiPrompter prompter(&window);
    // The window the next message box belongs to, once it is up (it is closed at once).
    auto parentOfNextBox = [this](QWidget *&parent) {
        QTimer::singleShot(0, this, [&parent] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            parent = box->parentWidget();
            box->button(QMessageBox::Ok)->click();
        });
    };
    QWidget *parent = nullptr;
    parentOfNextBox(parent);
    prompter.showError(u"Line 2 of FileCheck.SQL: no such table"_s);
    QCOMPARE(parent, &other);

    // Asked from the main window (or a window of another program), the box is the main
    // window's.
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    parentOfNextBox(parent);
    prompter.notify(u"Finished."_s);
    QCOMPARE(parent, &window);
}

QTEST_MAIN(GuiPrompterTest)
#include "GuiPrompterTest.moc"
