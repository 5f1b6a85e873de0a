// The file-check script's reader and line parser: a script of any content is read by the
// text-file rules and each line classified, its title and query cut out.
#include "Error.h"
#include "FileCheck.h"
#include "FuzzHome.h"

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    bm::fuzz::FuzzHome &home = bm::fuzz::FuzzHome::instance();
    const QString script = home.write(u"FileCheck.SQL"_s, data, size);
    try {
        for (const QString &line : bm::readCheckScript(script)) {
            const bm::ScriptLine parsed = bm::classifyScriptLine(line);
            // A line's parts are pieces of the line.
            if (parsed.title.size() > line.size() || parsed.sql.size() > line.size())
                __builtin_trap();
        }
    } catch (const bm::Error &) {
    }
    return 0;
}
