// What every engine behind the database interface must do alike. Each engine runs the same
// cases on a database of its own.
#include "DatabaseEngines.h"

#include <gtest/gtest.h>

#include <QDate>

#include <vector>

namespace bm::db {
namespace {

using namespace Qt::StringLiterals;

class DatabaseContract : public ::testing::TestWithParam<const test::EngineFactory *>
{
protected:
    void SetUp() override
    {
        m_place = GetParam()->make();
        m_db = m_place->connect();
        m_db->exec(u"CREATE TABLE t %1"_s.arg(columnsOfEveryKind()));
    }

    QString columnsOfEveryKind() const
    {
        return u"(n %1, r %2, d %3, s %4)"_s.arg(
                m_db->columnType(ColumnKind::Integer), m_db->columnType(ColumnKind::Real),
                m_db->columnType(ColumnKind::Date), m_db->columnType(ColumnKind::Text));
    }

    // The rows of `sql` as text, one line per row, cells by '|', null as "~".
    QStringList rows(const QString &sql)
    {
        QStringList lines;
        StatementPtr stmt = m_db->prepare(sql);
        while (stmt->next()) {
            QStringList cells;
            for (int c = 0; c < stmt->columnCount(); ++c) {
                switch (stmt->type(c)) {
                case ValueType::Null:
                    cells << u"~"_s;
                    break;
                case ValueType::Integer:
                    cells << QString::number(stmt->integer(c));
                    break;
                case ValueType::Real:
                    cells << QString::number(stmt->real(c), 'g', 17);
                    break;
                default:
                    cells << stmt->string(c);
                    break;
                }
            }
            lines << cells.join(u'|');
        }
        return lines;
    }

    std::unique_ptr<test::DatabasePlace> m_place;
    std::unique_ptr<Connection> m_db;
};

TEST_P(DatabaseContract, bindsEveryTypeAndNullAndReadsThemBack)
{
    StatementPtr insert = m_db->prepare(u"INSERT INTO t (n, r, d, s) VALUES (?1, ?2, ?3, ?4)"_s);
    insert->bindInteger(1, -9007199254740993LL);
    insert->bindReal(2, 0.1);
    insert->bindDate(3, QDate(999, 1, 31));
    insert->bindText(4, u"O'Brien \"É\" 牛"_s);
    EXPECT_EQ(insert->run(), 1);
    for (int p = 1; p <= 4; ++p)
        insert->bindNull(p);
    insert->run();
    insert->bindValue(1, QVariant(qint64(7)));
    insert->bindValue(2, QVariant(2.5));
    insert->bindValue(3, QVariant(QDate(2021, 3, 5)));
    insert->bindValue(4, QVariant(QString()));
    insert->run();

    // An empty text stays empty, apart from null.
    EXPECT_EQ(rows(u"SELECT n, r, d, s FROM t ORDER BY n NULLS FIRST"_s),
              (QStringList{u"~|~|~|~"_s,
                           u"-9007199254740993|0.10000000000000001|0999-01-31|O'Brien \"É\" 牛"_s,
                           u"7|2.5|2021-03-05|"_s}));
}

TEST_P(DatabaseContract, describesColumnsByKind)
{
    StatementPtr select = m_db->prepare(u"SELECT n, r, d, s FROM t"_s);
    ASSERT_EQ(select->columnCount(), 4);
    EXPECT_EQ(select->columnName(2), u"d"_s);
    EXPECT_EQ(select->columnKind(0), ColumnKind::Integer);
    EXPECT_EQ(select->columnKind(1), ColumnKind::Real);
    EXPECT_EQ(select->columnKind(2), ColumnKind::Date);
    EXPECT_EQ(select->columnKind(3), ColumnKind::Text);

    const QList<Column> columns = m_db->columns(u"t"_s);
    ASSERT_EQ(columns.size(), 4);
    EXPECT_EQ(columns[3].name, u"s"_s);
    EXPECT_EQ(columns[2].kind, ColumnKind::Date);
    EXPECT_TRUE(m_db->columns(u"missing"_s).isEmpty());
    EXPECT_TRUE(m_db->tables().contains(u"t"_s));
}

TEST_P(DatabaseContract, textComparesWithoutRegardToCase)
{
    m_db->exec(u"INSERT INTO t (s) VALUES ('HERD1')"_s);
    StatementPtr find = m_db->prepare(u"SELECT count(*) FROM t WHERE s = ?1"_s);
    find->bindText(1, u"herd1"_s);
    ASSERT_TRUE(find->next());
    EXPECT_EQ(find->integer(0), 1);
}

TEST_P(DatabaseContract, countsTheRowsAStatementChanged)
{
    m_db->exec(u"INSERT INTO t (n) VALUES (1), (2), (3)"_s);
    EXPECT_EQ(m_db->exec(u"UPDATE t SET s = 'x' WHERE n >= 2"_s), 2);
    StatementPtr remove = m_db->prepare(u"DELETE FROM t WHERE n = ?1"_s);
    remove->bindInteger(1, 3);
    EXPECT_EQ(remove->run(), 1);
    remove->bindInteger(1, 42);
    EXPECT_EQ(remove->run(), 0);
}

TEST_P(DatabaseContract, aWrongStatementIsAnErrorOfItsOwnNotOfTheDatabase)
{
    try {
        m_db->prepare(u"SELECT nothere FROM t"_s, u"Probe"_s);
        FAIL() << "a missing column was prepared";
    } catch (const DatabaseError &) {
        FAIL() << "a wrong statement was taken for a failure of the database";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().startsWith(u"Probe: "_s)) << e.message().toStdString();
    }
}

TEST_P(DatabaseContract, aRefusedRowIsUndoneAndTheTransactionGoesOn)
{
    m_db->exec(u"CREATE TABLE c (n INTEGER CHECK (n > 0))"_s);
    {
        Transaction transaction(*m_db);
        StatementPtr insert = m_db->prepare(u"INSERT INTO c (n) VALUES (?1)"_s);
        for (const qint64 n : {1, -1, 2}) {
            insert->bindInteger(1, n);
            const Step step = insert->step();
            EXPECT_EQ(step, n > 0 ? Step::Done : Step::Refused) << n;
            if (step == Step::Refused) {
                EXPECT_FALSE(insert->refusal().isEmpty());
            }
            insert->reset();
        }
        transaction.commit();
    }
    EXPECT_EQ(rows(u"SELECT n FROM c ORDER BY n"_s), (QStringList{u"1"_s, u"2"_s}));
}

TEST_P(DatabaseContract, aCommandThatFailsLeavesTheDataAsItWas)
{
    m_db->exec(u"INSERT INTO t (n) VALUES (1)"_s);
    try {
        Transaction transaction(*m_db);
        m_db->exec(u"DELETE FROM t"_s);
        m_db->exec(u"INSERT INTO t (n) VALUES (2)"_s);
        throw Error(u"stopped"_s);
    } catch (const Error &) {
    }
    EXPECT_FALSE(m_db->inTransaction());
    EXPECT_EQ(rows(u"SELECT n FROM t"_s), QStringList{u"1"_s});
}

TEST_P(DatabaseContract, aFailureOfTheDatabaseItselfEndsTheCommand)
{
    m_db->exec(u"INSERT INTO t (n) VALUES (1)"_s);
    Transaction transaction(*m_db);
    m_db->exec(u"INSERT INTO t (n) VALUES (2)"_s);
    m_place->breakConnection(*m_db);
    EXPECT_THROW(m_db->exec(u"INSERT INTO t (n) VALUES (3)"_s), DatabaseError);
}

TEST_P(DatabaseContract, theRowSinkStoresWhatAPlainInsertStores)
{
    m_db->exec(u"CREATE TABLE u %1"_s.arg(columnsOfEveryKind()));
    // Rows enough for several runs and a tail, text in an arena, every kind and null.
    std::string arena;
    std::vector<Cell> cells;
    const int rowCount = 77;
    StatementPtr plain = m_db->prepare(u"INSERT INTO t (n, r, d, s) VALUES (?1, ?2, ?3, ?4)"_s);
    for (int i = 0; i < rowCount; ++i) {
        Cell n, r, d, s;
        n.kind = Cell::Kind::Integer;
        n.integer = i * 1000003LL;
        if (i % 5 != 0) {
            r.kind = Cell::Kind::Real;
            r.real = i / 8.0;
        }
        const QByteArray date = QByteArray("2020-01-") + QByteArray::number(10 + i % 20);
        d.kind = Cell::Kind::Text;
        d.offset = arena.size();
        d.length = quint32(date.size());
        arena += date.toStdString();
        const QByteArray text = "Kuh " + QByteArray::number(i) + " \xC3\xA9'";
        s.kind = Cell::Kind::Text;
        s.offset = arena.size();
        s.length = quint32(text.size());
        arena += text.toStdString();
        cells.insert(cells.end(), {n, r, d, s});

        plain->bindInteger(1, n.integer);
        if (r.kind == Cell::Kind::Null)
            plain->bindNull(2);
        else
            plain->bindReal(2, r.real);
        plain->bindText(3, QByteArrayView(date));
        plain->bindText(4, QByteArrayView(text));
        plain->run();
    }
    Transaction transaction(*m_db);
    std::unique_ptr<RowSink> sink = m_db->rowSink(u"u"_s, {u"n"_s, u"r"_s, u"d"_s, u"s"_s});
    const std::size_t run = sink->runRows();
    ASSERT_GE(run, 1u);
    std::size_t at = 0;
    while (at + run <= std::size_t(rowCount)) {
        ASSERT_TRUE(sink->insertRows(&cells[at * 4], run, arena.data()));
        at += run;
    }
    for (; at < std::size_t(rowCount); ++at)
        ASSERT_TRUE(sink->insertRow(&cells[at * 4], arena.data()));
    sink->finish();
    transaction.commit();

    const QString order = u"SELECT n, r, d, s FROM %1 ORDER BY n"_s;
    EXPECT_EQ(rows(order.arg(u"u"_s)), rows(order.arg(u"t"_s)));
    EXPECT_EQ(rows(u"SELECT count(*) FROM u"_s), QStringList{QString::number(rowCount)});
}

TEST_P(DatabaseContract, scansMoreRowsThanOneBatchInOrder)
{
    m_db->exec(u"CREATE TABLE many (n %1)"_s.arg(m_db->columnType(ColumnKind::Integer)));
    {
        Transaction transaction(*m_db);
        std::unique_ptr<RowSink> sink = m_db->rowSink(u"many"_s, {u"n"_s});
        Cell c;
        c.kind = Cell::Kind::Integer;
        for (c.integer = 0; c.integer < 25000; ++c.integer)
            ASSERT_TRUE(sink->insertRow(&c, nullptr));
        sink->finish();
        transaction.commit();
    }
    StatementPtr scan = m_db->prepareScan(u"SELECT n FROM many WHERE n >= ?1 ORDER BY n"_s);
    scan->bindInteger(1, 3);
    qint64 expected = 3;
    while (scan->next())
        ASSERT_EQ(scan->integer(0), expected++);
    EXPECT_EQ(expected, 25000);
    EXPECT_FALSE(m_db->inTransaction());
    // The scan over, the connection takes other statements again.
    EXPECT_EQ(m_db->exec(u"DELETE FROM many WHERE n < 10"_s), 10);
}

TEST_P(DatabaseContract, preparesAScriptOneStatementAtATime)
{
    QString script = u"INSERT INTO t (n) VALUES (1); -- a comment\n"
                     "/* another */ INSERT INTO t (n, s) VALUES (2, 'a;b');\n  SELECT n FROM t "
                     "ORDER BY n;  -- the end"_s;
    QStringList seen;
    while (StatementPtr stmt = m_db->prepareFirst(script)) {
        while (stmt->next())
            seen << QString::number(stmt->integer(0));
    }
    EXPECT_EQ(seen, (QStringList{u"1"_s, u"2"_s}));
    EXPECT_EQ(rows(u"SELECT s FROM t WHERE n = 2"_s), QStringList{u"a;b"_s});
}

TEST_P(DatabaseContract, quotesNamesAndDates)
{
    m_db->exec(u"CREATE TABLE %1 (%2 INTEGER, d DATE)"_s.arg(Connection::quoteId(u"1\"01"_s),
                                                             Connection::quoteId(u"Ve\"r"_s)));
    m_db->exec(u"INSERT INTO %1 VALUES (5, %2)"_s.arg(Connection::quoteId(u"1\"01"_s),
                                                      m_db->dateLiteral(QDate(2021, 3, 5))));
    EXPECT_EQ(rows(u"SELECT %1, d FROM %2"_s.arg(Connection::quoteId(u"Ve\"r"_s),
                                                 Connection::quoteId(u"1\"01"_s))),
              QStringList{u"5|2021-03-05"_s});
}

INSTANTIATE_TEST_SUITE_P(Engines, DatabaseContract, ::testing::ValuesIn(test::engineFactories()),
                         [](const auto &engine) { return engine.param->name(); });

} // namespace
} // namespace bm::db
