#include "Error.h"

namespace bm {

QString errorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back().unicode() <= u'.')
        return message;
    return message + u'.';
}

} // namespace bm
