#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QRadioButton;
class QSpinBox;

namespace bm::gui {

// Where the herd database is: "This computer (Tembra.db)" or a PostgreSQL server (host, port,
// database, schema, user). The password is never asked here: the server asks for it when it
// needs one, and it is never stored.
class TfrmOpenDatabase final : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmOpenDatabase(QWidget *parent = nullptr);

    // Fills the fields from a connection URI as serverUri() makes it; empty: this computer.
    void setServer(const QString &uri);
    // The chosen server as a libpq connection URI without a password; empty for Tembra.db.
    QString serverUri() const;

private:
    void updateEnabled();

    QRadioButton *m_local = nullptr;
    QRadioButton *m_server = nullptr;
    QLineEdit *m_host = nullptr;
    QSpinBox *m_port = nullptr;
    QLineEdit *m_database = nullptr;
    QLineEdit *m_schema = nullptr;
    QLineEdit *m_user = nullptr;
};

// The URI with the password for this session only (never stored), as libpq takes it.
QString withPassword(const QString &uri, const QString &password);

} // namespace bm::gui
