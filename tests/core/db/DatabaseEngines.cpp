#include "DatabaseEngines.h"

#include "SqliteConnection.h"

#include <QFile>
#include <QTemporaryDir>

namespace bm::test {

using namespace Qt::StringLiterals;

namespace {

class SqlitePlace final : public DatabasePlace
{
public:
    SqlitePlace()
    {
        QFile file(path());
        file.open(QIODevice::WriteOnly); // SQLite takes an empty file as an empty database
    }
    std::unique_ptr<db::Connection> connect() override
    {
        return std::make_unique<db::SqliteConnection>(path());
    }
    void breakConnection(db::Connection &connection) override
    {
        // Writes then fail as they do on a read-only file.
        connection.exec(u"PRAGMA query_only = ON"_s);
    }

private:
    QString path() const { return m_dir.filePath(u"Tembra.db"_s); }
    QTemporaryDir m_dir;
};

class SqliteFactory final : public EngineFactory
{
public:
    std::string name() const override { return "SQLite"; }
    std::unique_ptr<DatabasePlace> make() const override { return std::make_unique<SqlitePlace>(); }
};

} // namespace

std::vector<const EngineFactory *> engineFactories()
{
    static const SqliteFactory sqlite;
    return {&sqlite};
}

} // namespace bm::test
