// The commands over the herd data that read it only: the lactation check and the ADE JSON save.
#include "Cli.h"

#include "AdeJson.h"
#include "Error.h"
#include "LactationCheck.h"
#include "NumberText.h"
#include "Saver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace bm::cli {

using namespace Qt::StringLiterals;

namespace {

// A number typed as an option's value, with "." as the decimal separator.
double numberOption(const Context &ctx, const QString &option)
{
    const QString text = ctx.parser->value(option).trimmed();
    double value = 0;
    if (!numtext::parse(text.toLatin1(), value) || !std::isfinite(value))
        throw UsageError{u"--%1 takes a number, not '%2'"_s.arg(option, text)};
    return value;
}

} // namespace

int cmdYields(Context &ctx)
{
    if (ctx.args.size() > 1)
        throw UsageError{u"yields takes at most one output file"_s};
    double tolerance = kDefaultTolerance;
    if (ctx.parser->isSet(u"tolerance"_s)) {
        tolerance = numberOption(ctx, u"tolerance"_s);
        if (tolerance < 0)
            throw UsageError{u"--tolerance takes a percentage of 0 or more"_s};
    }
    const bool flagged = ctx.parser->isSet(u"flagged"_s);

    Tdm dm(ctx.home);
    dm.ConnectDB(&ctx.progress);
    if (ctx.args.isEmpty()) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly))
            throw Error(u"Cannot write to standard output"_s);
        writeLactationCheck(dm, &ctx.progress, tolerance, flagged, out);
        return 0;
    }
    const QString path = QFileInfo(ctx.args.first()).absoluteFilePath();
    if (QFileInfo(path).isDir())
        throw Error(u"Cannot save to \"%1\": it is a folder. Choose a file name in it"_s.arg(
                QDir::toNativeSeparators(path)));
    writeLactationCheck(dm, &ctx.progress, tolerance, flagged, path);
    if (!ctx.quiet)
        out(QDir::toNativeSeparators(path));
    return 0;
}

int cmdSaveAde(Context &ctx)
{
    if (ctx.args.size() != 1)
        throw UsageError{u"save takes one output file"_s};
    SaveRequest request;
    request.format = SaveFormat::ADE;
    request.zip = ctx.parser->isSet(u"zip"_s);
    request.types = typesOption(ctx, adeTypes());
    for (const QString &code : std::as_const(request.types))
        if (!isAdeType(code))
            throw UsageError{u"'%1' has no ICAR ADE resource: --ade writes %2"_s.arg(
                    code, adeTypes().join(u", "_s))};
    // The settings kept for the program folder, unless the command gives its own.
    AdeSettings ade = AdeSettings::read(ctx.home);
    if (ctx.parser->isSet(u"id-scheme"_s))
        ade.idScheme = ctx.parser->value(u"id-scheme"_s).trimmed();
    if (ctx.parser->isSet(u"milk-density"_s))
        ade.milkDensity = numberOption(ctx, u"milk-density"_s);
    try {
        ade.check();
    } catch (const Error &e) {
        throw UsageError{e.message()};
    }

    Tdm dm(ctx.home);
    dm.ConnectDB(&ctx.progress);
    Saver saver(dm, ctx.progress, ctx.prompter);
    saver.setAdeSettings(ade);
    const SaveResult result = saver.save(request, QFileInfo(ctx.args.first()).absoluteFilePath());
    if (result.withoutId > 0)
        err(u"%1 %2 without a national ID left out: an ADE resource names its animal by it"_s.arg(
                countText(result.withoutId), result.withoutId == 1 ? u"row"_s : u"rows"_s));
    printSaved(ctx, result);
    return 0;
}

} // namespace bm::cli
