#pragma once

namespace bm {

class ProgressSink;
class Tdm;

// Brings a herd database made by an earlier build up to date: every TEXT column of the
// record-type tables and MergeCow that does not yet compare without regard to case is rebuilt
// with COLLATE NOCASE. Each such table is copied whole into a new table (same columns, same
// rowids, same values, its indexes made again) that takes its place, all in one transaction, with
// the progress window saying so. A database that is up to date, or open read-only, is left as it
// is. Returns true when it changed the database. Raises on failure, with nothing changed.
bool upgradeSchema(Tdm &dm, ProgressSink &progress);

} // namespace bm
