#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace bm {

// Every modal interaction the core needs. The GUI answers with Qt dialogs, the CLI with its
// options, tests with scripted answers.
class Prompter
{
public:
    virtual ~Prompter() = default;
    // An information box with Yes and No; true on Yes.
    virtual bool askYesNo(const QString &text) = 0;
    // A confirmation box with Yes and No (the grid's "Delete record?").
    virtual bool confirm(const QString &text) { return askYesNo(text); }
    // An information box with Yes and No where No is the default answer (Enter keeps things as
    // they are): for a step that replaces the herd data whole, as an undo does.
    virtual bool askYesNoDefaultNo(const QString &text) { return askYesNo(text); }
    // An information box with OK.
    virtual void notify(const QString &text) = 0;
    // The standard error box; `message` is the error's message as raised.
    virtual void showError(const QString &message) = 0;
    // File choices and the input box; std::nullopt when the user cancels. The save-file choice
    // does not ask about replacing a file: the caller asks about the files it will replace.
    virtual std::optional<QString> openFile(const QString &filter, const QString &initial) = 0;
    virtual std::optional<QString> saveFile(const QString &filter, const QString &defaultSuffix,
                                            const QString &initial)
            = 0;
    virtual std::optional<QString> inputText(const QString &caption, const QString &prompt,
                                             const QString &initial)
            = 0;
    // A choice of one of `items` (at least two), asked as `question`: the index of the item
    // chosen, std::nullopt when the user cancels (the default: a front end that cannot ask).
    virtual std::optional<int> chooseItem(const QString &caption, const QString &question,
                                          const QStringList &items)
    {
        Q_UNUSED(caption);
        Q_UNUSED(question);
        Q_UNUSED(items);
        return std::nullopt;
    }
};

} // namespace bm
