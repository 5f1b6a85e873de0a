#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace bm {

// The twelve record types in their fixed order (tabs, Select Files list, every loop over all
// record types). Each code is also the table name and the per-type file extension.
struct RecordType
{
    QString code;
    QString description; // as stored: the eighth keeps its doubled ampersand
};
const QList<RecordType> &recordTypes();
QStringList recordTypeCodes();
// The description for display where "&" is no accelerator mark ("&&" becomes "&").
QString displayDescription(const QString &description);
// -1 when `code` is none of the twelve.
int recordTypeIndex(const QString &code);

} // namespace bm
