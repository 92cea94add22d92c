#include "boarddirectory.h"
#include "referencedata.h"
#include "securitydirectory.h"
#include "stockdirectory.h"
#include "table.h"
#include "tableregistry.h"
#include "indexsort.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ta-tool"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Headless companion of the charting plug-in.\n\n"
                       "Commands:\n  reference   list the instruments of the reference data"));
    parser.addHelpOption();
    const QCommandLineOption referenceOption(QStringLiteral("reference"),
                                             QStringLiteral("Reference data file (JSON)."),
                                             QStringLiteral("file"));
    parser.addOption(referenceOption);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("What to do."));
    parser.process(app);

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
    return fatal(QStringLiteral("unknown command \"%1\"").arg(args.first()));
}
