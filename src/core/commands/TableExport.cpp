#include "TableExport.h"

#include "CsvWriter.h"
#include "DifWriter.h"
#include "ProgressSink.h"
#include "Tdm.h"
#include "Text.h"

#include <QDir>

namespace bm {

using namespace Qt::StringLiterals;

TableExport::TableExport(Tdm &dm, ProgressSink &progress)
    : m_dm(dm)
    , m_progress(progress)
{}

qint64 TableExport::ExportDIF(const QString &QueryString, const QString &PathAndFile,
                              const QString &DefName, bool HideProgress)
{
    HideProgressAtEnd hideAtEnd(m_progress, HideProgress);
    DifWriter writer(m_dm.home(), DefName, m_progress);
    const qint64 rows = m_dm.countRows(QueryString);
    if (rows == 0) {
        DifWriter::removeOld(PathAndFile);
        return 0;
    }
    // qTemp: the Select Files dialog's own query, through which the writers read.
    Stmt qTemp
            = m_dm.connection().prepareScan(QueryString, u"Cannot save table "_s + writer.table());
    return writer.write(*qTemp, rows, PathAndFile);
}

qint64 TableExport::ExportCSV(const QString &QueryString, const QString &PathAndFile, bool Titles,
                              bool HideProgress)
{
    HideProgressAtEnd hideAtEnd(m_progress, HideProgress);
    m_progress.show();
    TextWriter writer(PathAndFile);
    const qint64 rows = writeCSV(QueryString, writer, PathAndFile, Titles);
    writer.commit();
    return rows;
}

qint64 TableExport::ExportCSV(const QString &QueryString, QIODevice &out)
{
    HideProgressAtEnd hideAtEnd(m_progress);
    m_progress.show();
    const QString name = u"standard output"_s;
    TextWriter writer(out, name);
    const qint64 rows = writeCSV(QueryString, writer, name, true);
    writer.commit();
    return rows;
}

qint64 TableExport::writeCSV(const QString &QueryString, TextWriter &writer, const QString &name,
                             bool Titles)
{
    const QString target = QDir::toNativeSeparators(name);
    // qTemp: the Select Files dialog's own query, through which the writers read.
    const qint64 rows = m_dm.countRows(QueryString);
    Stmt qTemp = m_dm.connection().prepareScan(QueryString, u"Cannot write \"%1\""_s.arg(target));
    return CsvWriter(m_progress).write(*qTemp, rows, writer, name, Titles);
}

} // namespace bm
