#include "FileWrite.h"

#include <QFileDevice>

#include <cerrno>
#include <cstring>

namespace bm {

using namespace Qt::StringLiterals;

QString systemMessage(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool writeAll(QFileDevice &file, QByteArrayView bytes, QString &why)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        errno = 0;
        const qint64 n = file.write(bytes.data() + done, bytes.size() - done);
        const int error = errno;
        if (n > 0) {
            done += n;
            continue;
        }
        // Qt reports a write the system cut short as a short count, without its reason.
        if (error != 0)
            why = systemMessage(error);
        else if (file.error() != QFileDevice::NoError)
            why = file.errorString();
        else
            why = u"only %1 of %2 bytes could be written"_s.arg(done).arg(bytes.size());
        return false;
    }
    return true;
}

} // namespace bm
