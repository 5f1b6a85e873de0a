#include "LactationCheck.h"

#include "Error.h"
#include "NumberText.h"
#include "ProgressSink.h"
#include "StoredDate.h"
#include "Tdm.h"
#include "Text.h"

#include <QDir>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

const QString kLactations = u"103"_s;
const QString kTestDays = u"104"_s;
// The SQL function that gives a row's lactation key (below).
constexpr const char *kKeyFunction = "bm_lactation_key";

// The column of `names` called `field` (letter case aside), or empty.
QString columnOf(const QStringList &names, const QString &field)
{
    for (const QString &name : names)
        if (name.compare(field, Qt::CaseInsensitive) == 0)
            return name;
    return QString();
}

QString requiredColumn(const QStringList &names, const QString &table, const QString &field)
{
    const QString column = columnOf(names, field);
    if (column.isEmpty())
        throw Error(u"Table %1 has no field %2, so its lactations cannot be checked"_s.arg(table,
                                                                                           field));
    return Tdm::quoteId(column);
}

// The quoted column, or NULL where the table lacks it.
QString optionalColumn(const QStringList &names, const QString &field)
{
    const QString column = columnOf(names, field);
    return column.isEmpty() ? u"NULL"_s : Tdm::quoteId(column);
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ')
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ')
        text.remove_suffix(1);
    return text;
}

// Appends `text` with letter case folded, for every letter: plain ASCII by itself, anything else
// through Qt's case folding.
void appendFolded(std::string &out, std::string_view text)
{
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        for (const char c : text)
            out.push_back(c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c);
        return;
    }
    const QByteArray folded
            = QString::fromUtf8(text.data(), qsizetype(text.size())).toCaseFolded().toUtf8();
    out.append(folded.constData(), size_t(folded.size()));
}

// The day number of a stored date, or nothing.
std::optional<qint64> dayNumber(std::string_view iso)
{
    const QDate date = dateFromStored(QByteArrayView(iso.data(), qsizetype(iso.size())));
    if (!date.isValid())
        return std::nullopt;
    return date.toJulianDay();
}

// A lactation's key: its cow and its calving date, so that the rows of one lactation, in table
// 103 and in table 104, have one key and sort together. The cow is "N" and the national ID, else
// "C", the herd code, a separator and the cow ID, all with letter case folded; the calving date
// follows as ISO text. False (no key) without a cow or a calving date.
bool lactationKey(std::string &key, std::string_view nationalId, std::string_view herdCode,
                  std::string_view cowId, std::string_view calving)
{
    key.clear();
    calving = trimmed(calving);
    if (!dayNumber(calving))
        return false;
    calving = calving.substr(0, 10);
    nationalId = trimmed(nationalId);
    herdCode = trimmed(herdCode);
    cowId = trimmed(cowId);
    if (!nationalId.empty()) {
        key.push_back('N');
        appendFolded(key, nationalId);
    } else if (!herdCode.empty() && !cowId.empty()) {
        key.push_back('C');
        appendFolded(key, herdCode);
        key.push_back('\x1f');
        appendFolded(key, cowId);
    } else {
        return false;
    }
    key.push_back('\x1e');
    key.append(calving);
    return true;
}

// Makes the key function callable in the statements of `dm`. A server builds the key in its own
// SQL instead (keyExpression).
void registerKeyFunction(Tdm &dm)
{
    if (dm.connection().engine() != db::Engine::SQLite)
        return;
    dm.connection().addFunction(QString::fromLatin1(kKeyFunction), 4,
                                [](std::string &key, const std::string_view *a) {
                                    return lactationKey(key, a[0], a[1], a[2], a[3]);
                                });
}

// The key expression over a table's identity and calving columns.
QString keyExpression(const db::Connection &dialect, const QStringList &names, const QString &table)
{
    if (dialect.engine() != db::Engine::SQLite) {
        // The same key in the server's SQL, compared byte by byte as the embedded one is.
        const auto folded = [&](const QString &column) {
            return u"lower(btrim(CAST(%1 AS text)))"_s.arg(optionalColumn(names, column));
        };
        const QString nationalId = folded(u"NationalID"_s);
        const QString herdCode = folded(u"HerdCode"_s);
        const QString cowId = folded(u"CowID"_s);
        return u"((CASE WHEN %1 <> '' THEN 'N' || %1 WHEN %2 <> '' AND %3 <> '' THEN 'C' || %2 "
               "|| chr(31) || %3 END) || chr(30) || to_char(%4, 'YYYY-MM-DD')) COLLATE \"C\""_s.arg(
                       nationalId, herdCode, cowId, requiredColumn(names, table, u"CalvingDate"_s));
    }
    return u"%1(%2, %3, %4, %5)"_s.arg(
            QString::fromLatin1(kKeyFunction), optionalColumn(names, u"NationalID"_s),
            optionalColumn(names, u"HerdCode"_s), optionalColumn(names, u"CowID"_s),
            requiredColumn(names, table, u"CalvingDate"_s));
}

std::string_view columnView(const RowReader &row, int column)
{
    const QByteArrayView text = row.text(column);
    return std::string_view(text.data(), size_t(text.size()));
}

std::optional<double> numberAt(const RowReader &row, int column)
{
    const ValueType type = row.type(column);
    if (type == ValueType::Integer || type == ValueType::Real)
        return row.real(column);
    return std::nullopt;
}

QString textAt(const RowReader &row, int column)
{
    return row.string(column).trimmed();
}

// A test day's day in milk: its own DaysInMilk, else the days from calving to its test date.
std::optional<int> dayInMilk(const RowReader &row, int dimColumn, int dateColumn, qint64 calving)
{
    if (const std::optional<double> days = numberAt(row, dimColumn))
        return int(std::llround(*days));
    if (const std::optional<qint64> tested = dayNumber(columnView(row, dateColumn)))
        return int(*tested - calving);
    return std::nullopt;
}

// `value` rounded as the files show it: `decimals` places, halves away from zero.
double rounded(double value, int decimals)
{
    double r = value;
    numtext::parse(numtext::fixed(value, decimals), r);
    return r;
}

std::optional<double> difference(const std::optional<double> &computed,
                                 const std::optional<double> &stated)
{
    if (!computed || !stated || *stated == 0)
        return std::nullopt;
    return rounded((*computed - *stated) / *stated * 100, 1);
}

void stepProgress(ProgressSink *progress)
{
    if (progress)
        progress->step();
}

// The computed yields of one lactation, by its row of table 103.
struct Computed
{
    qint64 rowid = 0;
    LactationYield yield;
};

// The yields computed in the order of the keys, kept until the table is written in its own
// order: in a temporary table of the connection (on disk, the database removes it), so memory
// does not grow with the number of lactations, and sorted back into the order of table 103 by
// the database's sorter, which spills to disk too.
class ComputedStore
{
public:
    // Before the check's transaction: a transaction that only reads makes no table.
    explicit ComputedStore(Tdm &dm)
        : m_db(dm.connection())
        // The connection's own temporary schema, named as each engine names it.
        , m_table(m_db.engine() == db::Engine::SQLite ? u"temp.bm_yields"_s
                                                      : u"pg_temp.bm_yields"_s)
    {
        m_db.exec(u"DROP TABLE IF EXISTS "_s + m_table);
        m_db.exec(u"CREATE TEMP TABLE bm_yields (lactation %1, outcome %1, endDay %1, sameDay %1, "
                  "tests %1, milk %2, fat %2, protein %2)"_s.arg(
                          m_db.columnType(ColumnKind::Integer), m_db.columnType(ColumnKind::Real)));
    }
    ~ComputedStore()
    {
        m_insert.reset();
        m_read.reset();
        try {
            if (!m_db.inTransaction())
                m_db.exec(u"DROP TABLE IF EXISTS "_s + m_table);
        } catch (const Error &) {
            // The table goes with the connection anyway.
        }
    }
    ComputedStore(const ComputedStore &) = delete;
    ComputedStore &operator=(const ComputedStore &) = delete;

    void add(qint64 rowid, const LactationYield &y)
    {
        if (!m_insert)
            m_insert = m_db.prepare(u"INSERT INTO "_s + m_table
                                    + u" VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"_s);
        db::Statement &s = *m_insert;
        s.bindInteger(1, rowid);
        s.bindInteger(2, int(y.outcome));
        s.bindInteger(3, y.endDay);
        s.bindInteger(4, y.sameDay);
        s.bindInteger(5, y.testsUsed);
        int param = 6;
        for (const std::optional<double> &figure : {y.milk, y.fat, y.protein}) {
            if (figure)
                s.bindReal(param, *figure);
            else
                s.bindNull(param);
            ++param;
        }
        s.run();
    }

    // After the last add(): the yields in the order of the rows of table 103.
    void rewind()
    {
        m_insert.reset();
        m_read = m_db.prepareScan(u"SELECT * FROM "_s + m_table + u" ORDER BY lactation"_s);
        step();
    }
    // The current yields, or null past the last.
    const Computed *current() const { return m_atEnd ? nullptr : &m_current; }
    void step()
    {
        db::Statement &s = *m_read;
        m_atEnd = !s.next();
        if (m_atEnd)
            return;
        m_current.rowid = s.integer(0);
        LactationYield &y = m_current.yield;
        y.outcome = YieldOutcome(s.integer(1));
        y.endDay = int(s.integer(2));
        y.sameDay = int(s.integer(3));
        y.testsUsed = int(s.integer(4));
        std::optional<double> *figures[3] = {&y.milk, &y.fat, &y.protein};
        for (int i = 0; i < 3; ++i)
            *figures[i] = s.isNull(5 + i) ? std::nullopt : std::optional<double>(s.real(5 + i));
    }

private:
    db::Connection &m_db;
    QString m_table;
    Stmt m_insert;
    Stmt m_read;
    Computed m_current;
    bool m_atEnd = true;
};

// The yields of every lactation with a key, in the order of the keys: the test days sorted by
// key, read once, beside the lactations sorted by key.
void computeAll(Tdm &dm, ProgressSink *progress, ComputedStore &computed)
{
    const QStringList testColumns = dm.columns(kTestDays);
    const QStringList lactationColumns = dm.columns(kLactations);
    if (testColumns.isEmpty() || lactationColumns.isEmpty())
        throw Error(u"The herd database has no table %1"_s.arg(
                testColumns.isEmpty() ? kTestDays : kLactations));
    const QString milk = requiredColumn(testColumns, kTestDays, u"Milk"_s);
    Stmt tests = dm.connection().prepareScan(
            u"SELECT %1 AS k, %2, %3, %4, %5, %6 FROM %7 WHERE %4 IS NOT NULL ORDER BY k"_s.arg(
                    keyExpression(dm.connection(), testColumns, kTestDays),
                    optionalColumn(testColumns, u"DaysInMilk"_s),
                    optionalColumn(testColumns, u"TestDate"_s), milk,
                    optionalColumn(testColumns, u"FatPercent"_s),
                    optionalColumn(testColumns, u"ProteinPercent"_s), Tdm::quoteId(kTestDays)),
            u"Lactation check"_s);
    Stmt lactations = dm.connection().prepareScan(
            u"SELECT %1 AS k, rowid, %2 FROM %3 ORDER BY k"_s.arg(
                    keyExpression(dm.connection(), lactationColumns, kLactations),
                    optionalColumn(lactationColumns, u"LactationEndDate"_s),
                    Tdm::quoteId(kLactations)),
            u"Lactation check"_s);

    bool moreTests = tests->next();
    std::string groupKey;
    bool haveGroup = false;
    std::vector<YieldTest> group;
    while (lactations->next()) {
        stepProgress(progress);
        if (lactations->isNull(0))
            continue; // no cow or no calving date: told in the table
        const std::string_view key = columnView(*lactations, 0);
        if (!haveGroup || key != groupKey) {
            // The test days of this key: those of smaller keys belong to no lactation.
            groupKey.assign(key);
            haveGroup = true;
            group.clear();
            const qint64 calving = *dayNumber(groupKey.substr(groupKey.rfind('\x1e') + 1));
            for (; moreTests; moreTests = tests->next()) {
                stepProgress(progress);
                if (tests->isNull(0))
                    continue;
                const std::string_view testKey = columnView(*tests, 0);
                if (testKey > std::string_view(groupKey))
                    break;
                if (testKey < std::string_view(groupKey))
                    continue;
                const std::optional<double> milkFigure = numberAt(*tests, 3);
                const std::optional<int> day = dayInMilk(*tests, 1, 2, calving);
                if (!milkFigure || !day)
                    continue;
                group.push_back({*day, *milkFigure, numberAt(*tests, 4), numberAt(*tests, 5)});
            }
        }
        std::optional<int> endDay;
        if (const std::optional<qint64> end = dayNumber(columnView(*lactations, 2)))
            endDay = int(*end - *dayNumber(groupKey.substr(groupKey.rfind('\x1e') + 1)));
        computed.add(lactations->integer(1), computeYield(group, endDay));
    }
}

QString numberText(double value, int decimals, bool display)
{
    // Stated figures (decimals < 0) in their shortest form, at most two decimals.
    std::string text;
    if (decimals < 0)
        numtext::appendRoundedGeneral(text, value, 2);
    else
        numtext::appendFixed(text, value, decimals);
    QString shown = QString::fromLatin1(text.data(), qsizetype(text.size()));
    if (display) {
        const QLocale locale;
        shown.replace(u'.', locale.decimalPoint());
        if (shown.startsWith(u'-'))
            shown.replace(0, 1, locale.negativeSign());
    }
    return shown;
}

// CSV cell of a text: quoted, inner quotes doubled; an empty text is an empty cell.
void appendCsvText(QString &line, const QString &text)
{
    if (text.isEmpty())
        return;
    line += u'"';
    if (text.contains(u'"')) {
        QString doubled = text;
        line += doubled.replace(u'"', u"\"\""_s);
    } else {
        line += text;
    }
    line += u'"';
}

QString csvLine(const LactationCheckRow &row, double tolerance)
{
    QString line;
    line.reserve(160);
    for (int c = 0; c < kCheckColumns; ++c) {
        if (c > 0)
            line += u',';
        const QString cell = checkCell(row, c, tolerance, false);
        if (isNumberColumn(c))
            line += cell;
        else
            appendCsvText(line, cell);
    }
    return line;
}

void writeHeader(TextWriter &writer)
{
    writer.writeRawLine(checkHeaders().join(u',').toLatin1());
}

void writeRow(TextWriter &writer, const LactationCheckRow &row, double tolerance, qint64 line)
{
    writer.writeLine(csvLine(row, tolerance), u"line %1"_s.arg(line));
}

qint64 writeChecked(Tdm &dm, ProgressSink *progress, double tolerance, bool flaggedOnly,
                    TextWriter &writer)
{
    writeHeader(writer);
    qint64 written = 0;
    runLactationCheck(dm, progress, [&](const LactationCheckRow &row) {
        if (flaggedOnly && !row.isFlagged(tolerance))
            return;
        ++written;
        writeRow(writer, row, tolerance, written + 1);
    });
    return written;
}

} // namespace

bool LactationCheckRow::isFlagged(double tolerance) const
{
    if (outcome != YieldOutcome::Complete || !why.isEmpty())
        return false;
    for (const std::optional<double> &diff : {milkDiff, fatDiff, proteinDiff})
        if (diff && std::abs(*diff) > tolerance)
            return true;
    return false;
}

QString LactationCheckRow::status(double tolerance) const
{
    if (!why.isEmpty())
        return why;
    if (outcome == YieldOutcome::InProgress)
        return u"in progress"_s;
    return isFlagged(tolerance) ? u"flagged"_s : u"ok"_s;
}

QStringList checkHeaders()
{
    return {u"HerdCode"_s,
            u"CowID"_s,
            u"NationalID"_s,
            u"CalvingDate"_s,
            u"Tests"_s,
            u"Milk305"_s,
            u"ComputedMilk305"_s,
            u"MilkDiffPercent"_s,
            u"Fat305Kg"_s,
            u"ComputedFat305Kg"_s,
            u"FatDiffPercent"_s,
            u"Protein305Kg"_s,
            u"ComputedProtein305Kg"_s,
            u"ProteinDiffPercent"_s,
            u"Status"_s};
}

bool isNumberColumn(int column)
{
    return column >= int(CheckColumn::Tests) && column < int(CheckColumn::Status);
}

std::optional<double> checkNumber(const LactationCheckRow &row, int column)
{
    switch (CheckColumn(column)) {
    case CheckColumn::Tests:
        return row.tests;
    case CheckColumn::Milk305:
        return row.statedMilk;
    case CheckColumn::ComputedMilk305:
        return row.computedMilk;
    case CheckColumn::MilkDiffPercent:
        return row.milkDiff;
    case CheckColumn::Fat305Kg:
        return row.statedFat;
    case CheckColumn::ComputedFat305Kg:
        return row.computedFat;
    case CheckColumn::FatDiffPercent:
        return row.fatDiff;
    case CheckColumn::Protein305Kg:
        return row.statedProtein;
    case CheckColumn::ComputedProtein305Kg:
        return row.computedProtein;
    case CheckColumn::ProteinDiffPercent:
        return row.proteinDiff;
    default:
        return std::nullopt;
    }
}

QString checkCell(const LactationCheckRow &row, int column, double tolerance, bool display)
{
    switch (CheckColumn(column)) {
    case CheckColumn::HerdCode:
        return row.herdCode;
    case CheckColumn::CowID:
        return row.cowId;
    case CheckColumn::NationalID:
        return row.nationalId;
    case CheckColumn::CalvingDate:
        return row.calvingDate.isValid() ? QLocale().toString(row.calvingDate, shortDateFormat())
                                         : QString();
    case CheckColumn::Tests:
        return QString::number(row.tests);
    case CheckColumn::Milk305:
    case CheckColumn::Fat305Kg:
    case CheckColumn::Protein305Kg: {
        const std::optional<double> stated = checkNumber(row, column);
        return stated ? numberText(*stated, -1, display) : QString();
    }
    case CheckColumn::Status:
        return row.status(tolerance);
    default: {
        const std::optional<double> figure = checkNumber(row, column);
        return figure ? numberText(*figure, 1, display) : QString();
    }
    }
}

void runLactationCheck(Tdm &dm, ProgressSink *progress,
                       const std::function<void(const LactationCheckRow &)> &row)
{
    registerKeyFunction(dm);
    ComputedStore computed(dm);
    // Every read of one check sees the same data.
    std::optional<db::Transaction> snapshot;
    if (!dm.inTransaction())
        snapshot.emplace(dm.connection(), db::Access::Read);
    std::optional<HideProgressAtEnd> hideAtEnd;
    if (progress) {
        hideAtEnd.emplace(*progress);
        const qint64 total = dm.rowCount(kTestDays) + 2 * dm.rowCount(kLactations);
        progress->show();
        progress->start(u"Checking Lactations."_s, total, countText(dm.rowCount(kLactations)));
    }
    computeAll(dm, progress, computed);
    computed.rewind();

    // Every lactation in the table's order, with its figures or why it has none.
    const QStringList names = dm.columns(kLactations);
    Stmt stmt = dm.connection().prepareScan(
            u"SELECT rowid, %1, %2, %3, %4, %5, %6, %7 FROM %8 ORDER BY rowid"_s.arg(
                    optionalColumn(names, u"HerdCode"_s), optionalColumn(names, u"CowID"_s),
                    optionalColumn(names, u"NationalID"_s),
                    requiredColumn(names, kLactations, u"CalvingDate"_s),
                    optionalColumn(names, u"Milk305"_s), optionalColumn(names, u"Fat305Kg"_s),
                    optionalColumn(names, u"Protein305Kg"_s), Tdm::quoteId(kLactations)),
            u"Lactation check"_s);
    LactationCheckRow r;
    while (stmt->next()) {
        stepProgress(progress);
        const qint64 rowid = stmt->integer(0);
        r = LactationCheckRow();
        r.herdCode = textAt(*stmt, 1);
        r.cowId = textAt(*stmt, 2);
        r.nationalId = textAt(*stmt, 3);
        if (const std::optional<qint64> calving = dayNumber(columnView(*stmt, 4)))
            r.calvingDate = QDate::fromJulianDay(*calving);
        r.statedMilk = numberAt(*stmt, 5);
        r.statedFat = numberAt(*stmt, 6);
        r.statedProtein = numberAt(*stmt, 7);
        while (computed.current() && computed.current()->rowid < rowid)
            computed.step();
        const Computed *next = computed.current();
        if (!next || next->rowid != rowid) {
            r.why = !r.calvingDate.isValid() ? u"no calving date"_s : u"no cow identity"_s;
        } else {
            const LactationYield &y = next->yield;
            r.outcome = y.outcome;
            r.why = y.why();
            r.tests = y.testsUsed;
            if (y.milk)
                r.computedMilk = rounded(*y.milk, 1);
            if (y.fat)
                r.computedFat = rounded(*y.fat, 1);
            if (y.protein)
                r.computedProtein = rounded(*y.protein, 1);
            r.milkDiff = difference(r.computedMilk, r.statedMilk);
            r.fatDiff = difference(r.computedFat, r.statedFat);
            r.proteinDiff = difference(r.computedProtein, r.statedProtein);
        }
        row(r);
    }
}

qint64 writeLactationCheck(Tdm &dm, ProgressSink *progress, double tolerance, bool flaggedOnly,
                           const QString &path)
{
    TextWriter writer(path);
    const qint64 written = writeChecked(dm, progress, tolerance, flaggedOnly, writer);
    writer.commit();
    return written;
}

qint64 writeLactationCheck(Tdm &dm, ProgressSink *progress, double tolerance, bool flaggedOnly,
                           QIODevice &out)
{
    TextWriter writer(out, u"standard output"_s);
    const qint64 written = writeChecked(dm, progress, tolerance, flaggedOnly, writer);
    writer.commit();
    return written;
}

void writeLactationCheck(const std::vector<const LactationCheckRow *> &rows, double tolerance,
                         const QString &path)
{
    TextWriter writer(path);
    writeHeader(writer);
    qint64 line = 1;
    for (const LactationCheckRow *row : rows)
        writeRow(writer, *row, tolerance, ++line);
    writer.commit();
}

LactationCurves lactationTestDays(Tdm &dm, const LactationCheckRow &row)
{
    LactationCurves curves;
    curves.cow = CowIdentity{row.nationalId, row.cowId, row.herdCode};
    std::string key;
    const QByteArray nationalId = row.nationalId.toUtf8();
    const QByteArray herdCode = row.herdCode.toUtf8();
    const QByteArray cowId = row.cowId.toUtf8();
    const QByteArray calving = isoDate(row.calvingDate).toLatin1();
    if (!row.calvingDate.isValid()
        || !lactationKey(key, nationalId.toStdString(), herdCode.toStdString(), cowId.toStdString(),
                         calving.toStdString()))
        return curves;

    registerKeyFunction(dm);
    const QStringList names = dm.columns(kTestDays);
    Stmt stmt = dm.prepare(
            u"SELECT %1, %2, %3, %4, %5 FROM %6 WHERE %7 = ?1 AND %3 IS NOT NULL"_s.arg(
                    optionalColumn(names, u"DaysInMilk"_s), optionalColumn(names, u"TestDate"_s),
                    requiredColumn(names, kTestDays, u"Milk"_s),
                    optionalColumn(names, u"FatPercent"_s),
                    optionalColumn(names, u"ProteinPercent"_s), Tdm::quoteId(kTestDays),
                    keyExpression(dm.connection(), names, kTestDays)),
            u"Lactation curve"_s);
    stmt->bindText(1, QByteArrayView(key.data(), qsizetype(key.size())));
    LactationSeries series;
    series.calvingDate = row.calvingDate;
    const qint64 calvingDay = row.calvingDate.toJulianDay();
    while (stmt->next()) {
        const std::optional<int> day = dayInMilk(*stmt, 0, 1, calvingDay);
        if (!day) {
            ++curves.unplaced;
            continue;
        }
        TestDayPoint point;
        point.daysInMilk = *day;
        if (const std::optional<qint64> tested = dayNumber(columnView(*stmt, 1)))
            point.testDate = QDate::fromJulianDay(*tested);
        point.milk = numberAt(*stmt, 2);
        point.fatPercent = numberAt(*stmt, 3);
        point.proteinPercent = numberAt(*stmt, 4);
        series.points << point;
    }
    std::stable_sort(series.points.begin(), series.points.end(),
                     [](const TestDayPoint &a, const TestDayPoint &b) {
                         return a.daysInMilk < b.daysInMilk;
                     });
    if (!series.points.isEmpty())
        curves.lactations << series;
    return curves;
}

} // namespace bm
