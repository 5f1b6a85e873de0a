#include "DatabaseEngines.h"

#include "PgConnection.h"

#include <QCoreApplication>
#include <QUrl>
#include <QUrlQuery>

#include <libpq-fe.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>

namespace bm::test {

using namespace Qt::StringLiterals;

QString serverUri()
{
    const char *uri = std::getenv("BM_TEST_POSTGRES");
    if (!uri || !*uri)
        throw std::runtime_error("BM_TEST_POSTGRES names no PostgreSQL server: the tests of the "
                                 "server engine need the throw-away cluster the test run starts");
    return QString::fromUtf8(uri);
}

QString uriWithSchema(const QString &schema)
{
    QUrl url(serverUri());
    QUrlQuery query(url);
    query.removeQueryItem(u"options"_s);
    query.addQueryItem(u"options"_s, u"-csearch_path=%1"_s.arg(schema));
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}

namespace {

std::atomic<int> g_schemas{0};

// A schema of its own on the test server, dropped with the object.
class PgPlace final : public DatabasePlace
{
public:
    PgPlace()
        : m_schema(u"t%1_%2"_s.arg(QCoreApplication::applicationPid()).arg(++g_schemas))
    {
        db::PgConnection admin(serverUri());
        // Tests run side by side: the extension is made under a lock, so two never collide.
        admin.execScript(u"BEGIN; SELECT pg_advisory_xact_lock(16971, 0); CREATE EXTENSION IF NOT "
                         "EXISTS citext; COMMIT; CREATE SCHEMA %1"_s.arg(m_schema));
    }
    ~PgPlace() override
    {
        try {
            db::PgConnection admin(serverUri());
            admin.execScript(u"DROP SCHEMA %1 CASCADE"_s.arg(m_schema));
        } catch (...) {
        }
    }
    std::unique_ptr<db::Connection> connect() override
    {
        return std::make_unique<db::PgConnection>(uriWithSchema(m_schema));
    }
    void breakConnection(db::Connection &connection) override
    {
        // The server ends the connection's session, as when it restarts or the network drops.
        auto &pg = static_cast<db::PgConnection &>(connection);
        db::PgConnection admin(serverUri());
        admin.execScript(u"SELECT pg_terminate_backend(%1)"_s.arg(PQbackendPID(pg.handle())));
    }

private:
    QString m_schema;
};

class PgFactory final : public EngineFactory
{
public:
    std::string name() const override { return "PostgreSQL"; }
    std::unique_ptr<DatabasePlace> make() const override { return std::make_unique<PgPlace>(); }
};

} // namespace

std::vector<const EngineFactory *> engineFactories()
{
    static const PgFactory pg;
    return {&pg};
}

} // namespace bm::test
