// The main window's choice of herd database: Tembra.db of the program folder or a database on a
// PostgreSQL server, remembered in Brindlemark.ini without a password.
#include "TfrmMain.h"

#include "DataGrid.h"
#include "Error.h"
#include "GridModel.h"
#include "LiveWindows.h"
#include "Prompter.h"
#include "Tdm.h"
#include "TfrmOpenDatabase.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QSettings>

namespace bm::gui {

using namespace Qt::StringLiterals;

namespace {

const QString kTitle = u"Corvelle Automation Systems"_s;

// True when the server refused the connection for want of the right password.
bool wantsPassword(const QString &message)
{
    return message.contains(u"no password supplied"_s)
           || message.contains(u"password authentication failed"_s);
}

} // namespace

void TfrmMain::connectHerdDatabase()
{
    const QString chosen = dm->server();
    for (;;) {
        try {
            dm->ConnectDB(&progress());
            return;
        } catch (const bm::Error &e) {
            if (!dm->onServer() || !wantsPassword(e.message()))
                throw;
            bool ok = false;
            const QString password = QInputDialog::getText(
                    this, u"Password"_s, u"The password of %1:"_s.arg(dm->databaseName()),
                    QLineEdit::Password, QString(), &ok);
            if (!ok) {
                dm->setServer(chosen);
                throw bm::Error(u"No password was given for %1"_s.arg(dm->databaseName()));
            }
            dm->setServer(withPassword(chosen, password));
        }
    }
}

void TfrmMain::showDatabase()
{
    const QString name = dm->databaseName();
    // Tembra.db of the program folder is the one a user expects; a server database is named.
    setWindowTitle(dm->onServer() ? kTitle + u" - "_s + name : kTitle);
    if (dm->onServer())
        showMessage(u"Herd database: "_s + name);
}

void TfrmMain::OpenDatabase1Click()
{
    TfrmOpenDatabase dialog(this);
    const QString before
            = m_settings ? m_settings->value(u"Database/Server"_s).toString() : QString();
    dialog.setServer(before);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QString chosen = dialog.serverUri();
    const QString previous = dm->server();
    bool opened = false;
    runCommand([&] {
        // An open grid edit is written to the database it was made in.
        postEdits();
        qData->close();
        if (dm->isOpen())
            live::detach(&dm->connection());
        dm->close();
        dm->setServer(chosen);
        try {
            connectHerdDatabase();
        } catch (const bm::Error &) {
            // The database open before stays open.
            dm->setServer(previous);
            dm->ConnectDB(&progress());
            live::attach(dm->connection(), qData, dbg);
            ChangeFile();
            throw;
        }
        live::attach(dm->connection(), qData, dbg);
        opened = true;
        if (m_settings)
            m_settings->setValue(u"Database/Server"_s, chosen);
        ChangeFile();
    });
    showDatabase();
    if (!opened && dm->isOpen() && !dm->onServer())
        showMessage(u"Herd database: "_s + dm->databaseName());
    refreshUndo();
}

} // namespace bm::gui
