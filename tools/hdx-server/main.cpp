#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>

// History service for the demo and the tests. It listens on loopback; the history protocol
// itself is not served yet, every request is answered "501 Not Implemented".
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("History service on loopback"));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port to listen on (0 picks one)."),
                                        QStringLiteral("port"), QStringLiteral("0"));
    parser.addOption(portOption);
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "hdx-server: invalid port \"%s\"\n",
                     qPrintable(parser.value(portOption)));
        return 2;
    }
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, quint16(port))) {
        std::fprintf(stderr, "hdx-server: cannot listen: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    std::printf("%u\n", server.serverPort());
    std::fflush(stdout);
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&server] {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                // A request may arrive in pieces: answer once its header is complete.
                const QByteArray seen = socket->property("request").toByteArray()
                                        + socket->readAll();
                socket->setProperty("request", seen.right(4));
                if (!seen.contains("\r\n\r\n"))
                    return;
                socket->write("HTTP/1.1 501 Not Implemented\r\nContent-Length: 0\r\n"
                              "Connection: close\r\n\r\n");
                socket->disconnectFromHost();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    return app.exec();
}
