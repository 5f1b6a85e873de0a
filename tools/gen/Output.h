#pragma once

#include "RecordFormat.h"

#include "Text.h"

#include <array>
#include <memory>

namespace gen {

// The twelve record types in their fixed order (the order of bm::recordTypes()).
enum Type { T101, T102, T103, T104, T105, T106, T107, T108, T112, T114, T202, T211, TypeCount };

// Where generated records go: one file per record type (<stem>.<code>), one combined file
// holding every type in generation order, or both at once (then they hold the same records).
// Types left out of `wanted` are generated but not written, so a data set restricted to some
// types holds exactly the records the full data set holds of them.
class Output
{
public:
    struct Options
    {
        QString home;     // folder holding Defs/, with a trailing separator
        QString stem;     // per-type files when not empty
        QString combined; // combined file when not empty
        std::array<bool, TypeCount> wanted{};
    };

    explicit Output(const Options &options);
    ~Output();

    static QString code(int type);
    const RecordFormat &format(int type) const { return *m_formats[std::size_t(type)]; }
    // The line of `type`, cleared to blanks with RecordType and VersionNo set.
    Line &start(int type);
    // Writes the line of `type` to the files that take it and counts it.
    void write(int type);

    bool wanted(int type) const { return m_wanted[std::size_t(type)]; }
    qint64 written(int type) const { return m_written[std::size_t(type)]; }
    qint64 totalWritten() const { return m_total; }
    // Finishes every file; until then the targets are untouched.
    void commit();

private:
    std::array<std::unique_ptr<RecordFormat>, TypeCount> m_formats;
    std::array<std::unique_ptr<Line>, TypeCount> m_lines;
    std::array<std::unique_ptr<bm::TextWriter>, TypeCount> m_files;
    std::unique_ptr<bm::TextWriter> m_combined;
    std::array<bool, TypeCount> m_wanted{};
    std::array<qint64, TypeCount> m_written{};
    qint64 m_total = 0;
};

} // namespace gen
