#include "TfrmOpenDatabase.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QUrl>
#include <QUrlQuery>
#include <QVBoxLayout>

namespace bm::gui {

using namespace Qt::StringLiterals;

namespace {

constexpr int kDefaultPort = 5432;
const QString kSearchPath = u"-csearch_path="_s;

} // namespace

TfrmOpenDatabase::TfrmOpenDatabase(QWidget *parent)
    : QDialog(parent)
{
    setWindowTitle(u"Open Database"_s);
    setObjectName(u"frmOpenDatabase"_s);
    auto *layout = new QVBoxLayout(this);
    m_local = new QRadioButton(u"&This computer (Tembra.db)"_s, this);
    m_local->setObjectName(u"rbLocal"_s);
    m_server = new QRadioButton(u"A &server (PostgreSQL)"_s, this);
    m_server->setObjectName(u"rbServer"_s);
    layout->addWidget(m_local);
    layout->addWidget(m_server);

    auto *form = new QFormLayout;
    form->setContentsMargins(24, 0, 0, 0);
    m_host = new QLineEdit(this);
    m_host->setObjectName(u"edtHost"_s);
    m_host->setPlaceholderText(u"localhost, a name, an address or a socket folder"_s);
    m_port = new QSpinBox(this);
    m_port->setObjectName(u"edtPort"_s);
    m_port->setRange(1, 65535);
    m_port->setValue(kDefaultPort);
    m_database = new QLineEdit(this);
    m_database->setObjectName(u"edtDatabase"_s);
    m_schema = new QLineEdit(this);
    m_schema->setObjectName(u"edtSchema"_s);
    m_schema->setPlaceholderText(u"public"_s);
    m_user = new QLineEdit(this);
    m_user->setObjectName(u"edtUser"_s);
    form->addRow(u"&Host:"_s, m_host);
    form->addRow(u"&Port:"_s, m_port);
    form->addRow(u"&Database:"_s, m_database);
    form->addRow(u"S&chema:"_s, m_schema);
    form->addRow(u"&User:"_s, m_user);
    layout->addLayout(form);
    auto *note = new QLabel(u"The password is asked for when the server needs one, and never "
                            "stored. The password file and service file of the PostgreSQL "
                            "client work as they do for psql."_s,
                            this);
    note->setWordWrap(true);
    layout->addWidget(note);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_server, &QRadioButton::toggled, this, &TfrmOpenDatabase::updateEnabled);
    m_local->setChecked(true);
    updateEnabled();
}

void TfrmOpenDatabase::updateEnabled()
{
    for (QWidget *w :
         std::initializer_list<QWidget *>{m_host, m_port, m_database, m_schema, m_user})
        w->setEnabled(m_server->isChecked());
}

void TfrmOpenDatabase::setServer(const QString &uri)
{
    if (uri.isEmpty()) {
        m_local->setChecked(true);
        return;
    }
    m_server->setChecked(true);
    const QUrl url(uri);
    const QUrlQuery query(url);
    // A socket folder is given as the host query item.
    m_host->setText(query.hasQueryItem(u"host"_s) ? query.queryItemValue(u"host"_s) : url.host());
    m_port->setValue(url.port(kDefaultPort));
    m_database->setText(url.path().mid(1));
    m_user->setText(url.userName());
    const QString options = query.queryItemValue(u"options"_s, QUrl::FullyDecoded);
    m_schema->setText(options.startsWith(kSearchPath) ? options.mid(kSearchPath.size())
                                                      : QString());
}

QString TfrmOpenDatabase::serverUri() const
{
    if (!m_server->isChecked())
        return QString();
    QUrl url;
    url.setScheme(u"postgresql"_s);
    QUrlQuery query;
    const QString host = m_host->text().trimmed();
    if (host.startsWith(u'/'))
        query.addQueryItem(u"host"_s, host);
    else
        url.setHost(host.isEmpty() ? u"localhost"_s : host);
    url.setPort(m_port->value());
    url.setUserName(m_user->text().trimmed());
    url.setPath(u'/' + m_database->text().trimmed());
    if (!m_schema->text().trimmed().isEmpty())
        query.addQueryItem(u"options"_s, QString::fromLatin1(QUrl::toPercentEncoding(
                                                 kSearchPath + m_schema->text().trimmed())));
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}

QString withPassword(const QString &uri, const QString &password)
{
    QUrl url(uri);
    QUrlQuery query(url);
    query.removeQueryItem(u"password"_s);
    query.addQueryItem(u"password"_s, QString::fromLatin1(QUrl::toPercentEncoding(password)));
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}

} // namespace bm::gui
