#include "talogging.h"
#include "boarddirectory.h"
#include "exportcommand.h"
#include "snapshotcommand.h"
#include "studycommand.h"
#include "referencedata.h"
#include "securitydirectory.h"
#include "stockdirectory.h"
#include "table.h"
#include "tableregistry.h"
#include "indexsort.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace {

int fatal(const QString &text)
{
    std::fprintf(stderr, "ta-tool: %s\n", qPrintable(text));
    return 2;
}

// Lists the instruments of the reference data, one line each: key, board, code, name.
int listReference()
{
    QTextStream out(stdout);
    Table *securities = TableRegistry::instance()->table(QStringLiteral("securities"));
    TableLocker locker(securities);
    const IndexSort *index = securities->masterIndex();
    out << "key;stock;board;code;name;decimals;lot;chart\n";
    for (int i = 0; i < index->count(); ++i) {
        const Record r = index->at(i);
        const int stock = r.data(QStringLiteral("stock_id")).toInteger();
        const int board = r.data(QStringLiteral("board_id")).toInteger();
        out << r.data(QStringLiteral("text_id")).toString() << ';'
            << StockDirectory::i()->codeById(stock) << ';'
            << BoardDirectory::i()->codeById(stock, board) << ';'
            << r.data(QStringLiteral("sec_code")).toString() << ';'
            << r.data(QStringLiteral("sec_name")).toString() << ';'
            << r.data(QStringLiteral("decimals")).toInteger() << ';'
            << r.data(QStringLiteral("lotsize")).toInteger() << ';'
            << (BoardDirectory::i()->isChartById(stock, board) ? "yes" : "no") << '\n';
    }
    return 0;
}

// The data path's log (progress, retried requests) shows with --verbose only, so that a
// failure is the one line the tool prints itself.
bool verbose = false;

void messageHandler(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (!verbose && type != QtFatalMsg)
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

// "--days" and "--to": the message for a bad value, empty when both are good.
QString readRange(const QCommandLineParser &parser, const QCommandLineOption &daysOption,
                  const QCommandLineOption &toOption, int *days, QDate *to)
{
    bool ok = false;
    *days = parser.value(daysOption).toInt(&ok);
    if (!ok || *days < 1 || *days > 36600)
        return QStringLiteral("bad number of days \"%1\"").arg(parser.value(daysOption));
    if (parser.isSet(toOption)) {
        *to = QDate::fromString(parser.value(toOption), Qt::ISODate);
        if (!to->isValid())
            return QStringLiteral("bad date \"%1\": yyyy-MM-dd").arg(parser.value(toOption));
    }
    return {};
}

// The first argument that is not an option: the command.
QString commandOf(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-')
            return QString::fromLocal8Bit(argv[i]);
        // Options with a value take the next argument.
        const QByteArray option(argv[i]);
        if (!option.contains('=') && option != "--gzip" && option != "--no-history"
            && option != "--verbose" && option != "--timing" && option != "--help"
            && option != "-h")
            ++i;
    }
    return {};
}

} // namespace

int main(int argc, char *argv[])
{
    // A snapshot draws widgets and a study runs the chart's items; without a display they
    // work offscreen.
    const QString command = commandOf(argc, argv);
    const bool drawing = command == QLatin1String("snapshot") || command == QLatin1String("study");
    if (drawing && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> application;
    if (drawing)
        application = std::make_unique<QApplication>(argc, argv);
    else
        application = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication &app = *application;
    QCoreApplication::setApplicationName(QStringLiteral("ta-tool"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Headless companion of the charting plug-in.\n\n"
        "Commands:\n"
        "  reference   list the instruments of the reference data\n"
        "  export      print the bars of an instrument as CSV, filled as a chart is filled\n"
        "  snapshot    render a chart window of an instrument (or of a saved workspace) to PNG\n"
        "  study       print an indicator over an instrument's bars as CSV, evaluated as on a "
        "chart"));
    parser.addHelpOption();
    const QCommandLineOption referenceOption(QStringLiteral("reference"),
                                             QStringLiteral("Reference data file (JSON)."),
                                             QStringLiteral("file"));
    const QCommandLineOption keyOption(QStringLiteral("key"),
                                       QStringLiteral("export: instrument key STOCK,BOARD,SEC."),
                                       QStringLiteral("key"));
    const QCommandLineOption timeFrameOption(
        QStringLiteral("timeframe"),
        QStringLiteral("export: a chart frame in seconds (60, 300, 3600, ...), \"month\" or "
                       "\"year\"."),
        QStringLiteral("tf"));
    const QCommandLineOption daysOption(QStringLiteral("days"),
                                        QStringLiteral("export: calendar days back (default 1)."),
                                        QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption toOption(
        QStringLiteral("to"), QStringLiteral("export: last day; absent, the range follows today."),
        QStringLiteral("yyyy-MM-dd"));
    const QCommandLineOption hdxUrlOption(QStringLiteral("hdx-url"),
                                          QStringLiteral("export: history service address."),
                                          QStringLiteral("url"));
    const QCommandLineOption gzipOption(QStringLiteral("gzip"),
                                        QStringLiteral("export: ask for compressed replies."));
    const QCommandLineOption noHistoryOption(QStringLiteral("no-history"),
                                             QStringLiteral("export: no history service."));
    const QCommandLineOption tradesOption(
        QStringLiteral("trades"),
        QStringLiteral("export: CSV of live trades "
                       "(moment,price,quantity,value,open_interest,nosystem)."),
        QStringLiteral("file"));
    const QCommandLineOption dataDirOption(
        QStringLiteral("data-dir"), QStringLiteral("export: user data directory (cache files)."),
        QStringLiteral("dir"));
    const QCommandLineOption outputOption(QStringLiteral("output"),
                                          QStringLiteral("export: write to the file."),
                                          QStringLiteral("file"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"),
                                           QStringLiteral("Print the data path's log."));
    const QCommandLineOption workspaceOption(
        QStringLiteral("workspace"),
        QStringLiteral("snapshot: a terminal settings file; its first chart window is drawn."),
        QStringLiteral("file"));
    const QCommandLineOption sizeOption(QStringLiteral("size"),
                                        QStringLiteral("snapshot: picture size (default 1600x900)."),
                                        QStringLiteral("WxH"), QStringLiteral("1600x900"));
    const QCommandLineOption timingOption(
        QStringLiteral("timing"),
        QStringLiteral("snapshot: print how long the window took to open, fill and draw."));
    const QCommandLineOption indicatorOption(
        QStringLiteral("indicator"), QStringLiteral("study: the indicator file's name (RSI, MACD, ...)."),
        QStringLiteral("name"));
    const QCommandLineOption indicatorFileOption(
        QStringLiteral("indicator-file"),
        QStringLiteral("study: an indicator file of one's own, instead of --indicator."),
        QStringLiteral("file"));
    const QCommandLineOption paramOption(
        QStringLiteral("param"),
        QStringLiteral("study: a parameter value, name=value (repeatable)."),
        QStringLiteral("name=value"));
    parser.addOptions({referenceOption, keyOption, timeFrameOption, daysOption, toOption,
                       hdxUrlOption, gzipOption, noHistoryOption, tradesOption, dataDirOption,
                       outputOption, verboseOption, workspaceOption, sizeOption, timingOption,
                       indicatorOption, indicatorFileOption, paramOption});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("What to do."));
    parser.process(app);
    verbose = parser.isSet(verboseOption);
    if (verbose)
        QLoggingCategory::setFilterRules(QString::fromLatin1(talogging::AllRule));
    qInstallMessageHandler(messageHandler);

    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return fatal(QStringLiteral("no command given (see --help)"));

    QString error;
    const QString path = parser.isSet(referenceOption) ? parser.value(referenceOption)
                                                       : ReferenceData::defaultPath();
    if (!ReferenceData::load(path, &error))
        return fatal(error);

    if (args.first() == QLatin1String("reference"))
        return listReference();
    // --key, --timeframe and the range of a command that needs them; the message when they
    // are missing or bad, empty when they are good.
    auto readSeries = [&](const QString &command, SeriesKey *key, TimeFrameValue *timeFrame,
                          int *days, QDate *to) -> QString {
        if (!parser.isSet(keyOption))
            return command + QStringLiteral(" needs --key STOCK,BOARD,SEC");
        try {
            *key = SeriesKey::fromString(parser.value(keyOption));
        } catch (const QString &e) {
            return e;
        }
        if (!parser.isSet(timeFrameOption))
            return command + QStringLiteral(" needs --timeframe (seconds, month or year)");
        if (!parseTimeFrame(parser.value(timeFrameOption), timeFrame))
            return QStringLiteral("bad time frame \"%1\": %2")
                .arg(parser.value(timeFrameOption), standardTimeFrameList());
        return readRange(parser, daysOption, toOption, days, to);
    };
    if (args.first() == QLatin1String("export")) {
        ExportRequest request;
        if (const QString bad = readSeries(QStringLiteral("export"), &request.key,
                                           &request.timeFrame, &request.days, &request.to);
            !bad.isEmpty())
            return fatal(bad);
        request.hdxUrl = parser.value(hdxUrlOption);
        request.gzip = parser.isSet(gzipOption);
        request.history = !parser.isSet(noHistoryOption);
        request.tradesFile = parser.value(tradesOption);
        request.dataDir = parser.value(dataDirOption);
        request.outputFile = parser.value(outputOption);
        QString failure;
        const int status = runExport(request, &failure);
        if (status != 0)
            std::fprintf(stderr, "ta-tool: %s\n", qPrintable(failure));
        return status;
    }
    if (args.first() == QLatin1String("snapshot")) {
        SnapshotRequest request;
        if (parser.isSet(keyOption)) {
            try {
                request.key = SeriesKey::fromString(parser.value(keyOption));
                request.hasKey = true;
            } catch (const QString &e) {
                return fatal(e);
            }
        }
        if (parser.isSet(timeFrameOption)
            && !parseTimeFrame(parser.value(timeFrameOption), &request.timeFrame))
            return fatal(QStringLiteral("bad time frame \"%1\": %2")
                             .arg(parser.value(timeFrameOption), standardTimeFrameList()));
        if (const QString bad = readRange(parser, daysOption, toOption, &request.days, &request.to);
            !bad.isEmpty())
            return fatal(bad);
        const QStringList size = parser.value(sizeOption).split(u'x');
        bool okWidth = false, okHeight = false;
        if (size.size() == 2)
            request.size = QSize(size[0].toInt(&okWidth), size[1].toInt(&okHeight));
        if (!okWidth || !okHeight)
            return fatal(QStringLiteral("bad size \"%1\": WIDTHxHEIGHT").arg(parser.value(sizeOption)));
        if (!parser.isSet(outputOption))
            return fatal(QStringLiteral("snapshot needs --output FILE.png"));
        request.hdxUrl = parser.value(hdxUrlOption);
        request.history = !parser.isSet(noHistoryOption);
        request.tradesFile = parser.value(tradesOption);
        request.workspaceFile = parser.value(workspaceOption);
        request.dataDir = parser.value(dataDirOption);
        request.outputFile = parser.value(outputOption);
        request.timing = parser.isSet(timingOption);
        QString failure;
        const int status = runSnapshot(request, &failure);
        if (status != 0)
            std::fprintf(stderr, "ta-tool: %s\n", qPrintable(failure));
        return status;
    }
    if (args.first() == QLatin1String("study")) {
        StudyRequest request;
        if (const QString bad = readSeries(QStringLiteral("study"), &request.key,
                                           &request.timeFrame, &request.days, &request.to);
            !bad.isEmpty())
            return fatal(bad);
        if (!parser.isSet(indicatorOption) && !parser.isSet(indicatorFileOption))
            return fatal(QStringLiteral("study needs --indicator NAME or --indicator-file FILE"));
        request.indicator = parser.value(indicatorOption);
        request.indicatorFile = parser.value(indicatorFileOption);
        request.parameters = parser.values(paramOption);
        request.hdxUrl = parser.value(hdxUrlOption);
        request.history = !parser.isSet(noHistoryOption);
        request.tradesFile = parser.value(tradesOption);
        request.dataDir = parser.value(dataDirOption);
        request.outputFile = parser.value(outputOption);
        QString failure;
        const int status = runStudy(request, &failure);
        if (status != 0)
            std::fprintf(stderr, "ta-tool: %s\n", qPrintable(failure));
        return status;
    }
    return fatal(QStringLiteral("unknown command \"%1\"").arg(args.first()));
}
