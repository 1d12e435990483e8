// The least a tray-resident Qt widgets program does: build the application and listen on a port.
#include <QApplication>
#include <QTcpServer>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, quint16(app.arguments().value(1).toUInt()));
    return app.exec();
}
