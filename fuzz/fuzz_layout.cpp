// The layout reader: a layout file of any content is read, or refused with an error.
#include "Error.h"
#include "FuzzHome.h"
#include "Layout.h"

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    bm::fuzz::FuzzHome &home = bm::fuzz::FuzzHome::instance();
    home.write(u"Defs/DIF104V9.ini"_s, data, size);
    try {
        const bm::Layout layout = bm::readLayout(home.path(), u"DIF104V9.ini"_s);
        // Every item of every field as its user converts it.
        for (const bm::FieldDef &field : layout) {
            for (const bm::LayoutInt *item :
                 {&field.start, &field.width, &field.scale, &field.decimals})
                if (item->isGiven())
                    item->value();
        }
    } catch (const bm::Error &) {
    }
    return 0;
}
