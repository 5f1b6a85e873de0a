#include "Output.h"

#include "Layout.h"

using namespace Qt::StringLiterals;

namespace gen {

Output::Output(const Options &options)
    : m_wanted(options.wanted)
{
    for (int t = 0; t < TypeCount; ++t) {
        m_formats[std::size_t(t)] = std::make_unique<RecordFormat>(options.home, code(t));
        m_lines[std::size_t(t)] = std::make_unique<Line>(*m_formats[std::size_t(t)]);
    }
    for (int t = 0; t < TypeCount; ++t) {
        if (!options.stem.isEmpty() && m_wanted[std::size_t(t)])
            m_files[std::size_t(t)]
                    = std::make_unique<bm::TextWriter>(options.stem + u'.' + code(t));
    }
    if (!options.combined.isEmpty())
        m_combined = std::make_unique<bm::TextWriter>(options.combined);
}

Output::~Output() = default;

QString Output::code(int type)
{
    return bm::recordTypes().at(type).code;
}

Line &Output::start(int type)
{
    Line &line = *m_lines[std::size_t(type)];
    line.clear();
    return line;
}

void Output::write(int type)
{
    if (!m_wanted[std::size_t(type)])
        return;
    const std::string_view bytes = m_lines[std::size_t(type)]->bytes();
    const QByteArrayView view(bytes.data(), qsizetype(bytes.size()));
    if (m_files[std::size_t(type)])
        m_files[std::size_t(type)]->writeRawLine(view);
    if (m_combined)
        m_combined->writeRawLine(view);
    ++m_written[std::size_t(type)];
    ++m_total;
}

void Output::commit()
{
    for (auto &file : m_files) {
        if (file)
            file->commit();
    }
    if (m_combined)
        m_combined->commit();
}

} // namespace gen
