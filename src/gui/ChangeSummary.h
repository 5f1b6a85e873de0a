#pragma once

#include "Maintenance.h"

#include <QString>

namespace bm::gui {

// The rows a maintenance command changed or removed in all its tables.
qint64 changedRows(const QList<bm::Maintenance::TableChange> &changes);

// What a maintenance command did, in one line beside the status line: the records it removed
// (clean-ups and trims, `removed`) or changed (herd code, merge), with how many tables and each
// table's share. `caption` names the command.
QString changesSummary(const QString &caption, const QList<bm::Maintenance::TableChange> &changes,
                       bool removed);

} // namespace bm::gui
