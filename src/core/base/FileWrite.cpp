#include "FileWrite.h"

#include <QIODevice>

#include <cerrno>
#include <cstring>

namespace bm {

using namespace Qt::StringLiterals;

QString systemMessage(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool writeAll(QIODevice &device, QByteArrayView bytes, QString &why)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        errno = 0;
        const qint64 n = device.write(bytes.data() + done, bytes.size() - done);
        const int error = errno;
        if (n > 0) {
            done += n;
            continue;
        }
        // Qt reports a write the system cut short as a short count, without its reason.
        if (error != 0)
            why = systemMessage(error);
        else if (n < 0)
            why = device.errorString();
        else
            why = u"only %1 of %2 bytes could be written"_s.arg(done).arg(bytes.size());
        return false;
    }
    return true;
}

} // namespace bm
