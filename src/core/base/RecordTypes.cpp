#include "RecordTypes.h"

namespace bm {

using namespace Qt::StringLiterals;

const QList<RecordType> &recordTypes()
{
    static const QList<RecordType> types = {
            {u"101"_s, u"Herd"_s},
            {u"102"_s, u"Cow Pedigree"_s},
            {u"103"_s, u"Lactation"_s},
            {u"104"_s, u"Test Day"_s},
            {u"105"_s, u"Bull Pedigree"_s},
            {u"106"_s, u"Workability"_s},
            {u"107"_s, u"Test Day Production"_s},
            {u"108"_s, u"Mating && Preg Test"_s},
            {u"112"_s, u"Calving Ease"_s},
            {u"114"_s, u"Conformation Trait"_s},
            {u"202"_s, u"Cow ABV 202"_s},
            {u"211"_s, u"Cow ABV 211"_s},
    };
    return types;
}

QStringList recordTypeCodes()
{
    QStringList codes;
    for (const RecordType &t : recordTypes())
        codes << t.code;
    return codes;
}

QString displayDescription(const QString &description)
{
    QString s = description;
    return s.replace(u"&&"_s, u"&"_s);
}

int recordTypeIndex(const QString &code)
{
    const auto &types = recordTypes();
    for (int i = 0; i < types.size(); ++i)
        if (types.at(i).code == code)
            return i;
    return -1;
}

} // namespace bm
