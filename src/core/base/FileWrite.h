#pragma once

#include <QByteArrayView>
#include <QString>

class QIODevice;

namespace bm {

// The system's message for an error number (errno): "No space left on device".
QString systemMessage(int error);

// Writes all of `bytes` to `device`. False when it could not, with the reason in `why`: the
// system's own, also when a write stopped part-way (as on a full disk), where Qt gives none.
// Open the file unbuffered, so every failure shows here and none is left for close().
bool writeAll(QIODevice &device, QByteArrayView bytes, QString &why);

} // namespace bm
