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

QTEST_MAIN(GuiPrompterTest)
#include "GuiPrompterTest.moc"
