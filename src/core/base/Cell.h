#pragma once

#include <QtGlobal>

namespace bm {

// One typed value of a row on its way into the herd database: what the line parser makes of a
// field and what the database's row sink stores. Text lives in an arena owned by whoever made
// the cell; the cell holds where it starts and its length (UTF-8).
struct Cell
{
    enum class Kind : quint8 { Null, Integer, Real, Text };
    Kind kind = Kind::Null;
    quint32 length = 0; // Text: its bytes in the arena
    union
    {
        qint64 integer = 0;
        double real;
        quint64 offset; // Text: where it starts in the arena
    };
};

} // namespace bm
