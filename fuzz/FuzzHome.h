#pragma once

#include "Prompter.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>

namespace bm {
class Tdm;
}

namespace bm::fuzz {

// A program folder for one fuzzing process: the shipped layouts and a fresh herd database,
// in memory-backed storage where the system has it. Made at the first call.
class FuzzHome
{
public:
    static FuzzHome &instance();

    const QString &path() const { return m_path; }
    // The open herd database of the folder.
    Tdm &dm();
    // Writes `size` bytes to <home><name> and returns the path.
    QString write(const QString &name, const uint8_t *data, size_t size) const;
    // Removes every file of a folder, keeping the folder.
    static void clearFolder(const QString &folder);

private:
    FuzzHome();
    QString m_path;
    Tdm *m_dm = nullptr;
};

// Answers Yes to every question, so an import reports every line error, and cancels every
// choice.
class YesPrompter final : public Prompter
{
public:
    bool askYesNo(const QString &) override { return true; }
    void notify(const QString &) override {}
    void showError(const QString &) override {}
    std::optional<QString> openFile(const QString &, const QString &) override
    {
        return std::nullopt;
    }
    std::optional<QString> saveFile(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
    std::optional<QString> inputText(const QString &, const QString &, const QString &) override
    {
        return std::nullopt;
    }
};

} // namespace bm::fuzz
