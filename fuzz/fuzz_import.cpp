// The DIF import of a per-type file: its version character chooses the layout as a load does,
// and every line goes through the layout's fields into the table, inside a transaction that is
// rolled back afterwards.
#include "Error.h"
#include "FuzzHome.h"
#include "Importer.h"
#include "Layout.h"
#include "ProgressSink.h"
#include "Tdm.h"

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    bm::fuzz::FuzzHome &home = bm::fuzz::FuzzHome::instance();
    bm::Tdm &dm = home.dm();
    // The file's first three bytes name its record type; other types use 104's table.
    QString code = QString::fromLatin1(reinterpret_cast<const char *>(data), size < 3 ? 0 : 3);
    if (bm::recordTypeIndex(code) < 0)
        code = u"104"_s;
    const QString file = home.write(u"in."_s + code, data, size);
    bm::NullProgress progress;
    bm::fuzz::YesPrompter prompter;
    try {
        bm::Importer importer(dm, progress, prompter);
        bm::Transaction transaction(dm); // rolled back: every run starts from the empty tables
        importer.ImportFile(file, code, bm::layoutName(code, bm::GetDIFVersion(file)));
    } catch (const bm::Error &) {
        // An error that ends the command is a result like any other.
    }
    return 0;
}
