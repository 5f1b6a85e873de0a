#include "GuiPrompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
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

private:
    struct Seen
    {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
    };
    // Presses `button` on the next message box once it is up, and records what it showed.
    void answer(QMessageBox::StandardButton button, Seen &seen)
    {
        QTimer::singleShot(0, this, [button, &seen] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen = {box->windowTitle(), box->text(), box->icon()};
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

QTEST_MAIN(GuiPrompterTest)
#include "GuiPrompterTest.moc"
