// The split of a combined DIF file into per-type files: the first byte chooses the collation
// (the C locale, one that orders letter by letter, one with contractions), the rest is the file.
// A small chunk size sends larger inputs through the merge of sorted runs too.
#include "DifSplitter.h"
#include "Error.h"
#include "FuzzHome.h"
#include "ProgressSink.h"

#include <QDir>
#include <QLocale>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    static const QLocale locales[] = {QLocale::c(), QLocale(QLocale::English, QLocale::Australia),
                                      QLocale(QLocale::Czech, QLocale::Czechia)};
    bm::fuzz::FuzzHome &home = bm::fuzz::FuzzHome::instance();
    const QString input = home.write(u"in.DIF"_s, data + 1, size - 1);
    const QString out = home.path() + u"Split/"_s;
    QDir().mkpath(out);
    bm::NullProgress progress;
    try {
        bm::DifSplitter splitter(out, progress, locales[data[0] % 3]);
        splitter.setChunkBytes(data[0] & 0x80 ? 4096 : 40 << 20);
        splitter.split(input, u"herd"_s);
    } catch (const bm::Error &) {
    }
    bm::fuzz::FuzzHome::clearFolder(out);
    return 0;
}
