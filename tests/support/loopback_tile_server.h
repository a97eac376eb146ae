#pragma once
// A tile server on the loopback address for the map tests: answers every request with one
// generated 256 x 256 PNG tile and counts connections and tile requests. Nothing leaves this
// machine.
#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QTcpServer>
#include <QTcpSocket>

namespace ravir::test {

class LoopbackTileServer : public QTcpServer {
public:
    static constexpr QRgb kTileColour = 0xFFCFE8C8;

    LoopbackTileServer()
    {
        QImage tile(256, 256, QImage::Format_RGB32);
        tile.fill(QColor::fromRgb(kTileColour));
        QPainter p(&tile);
        p.setPen(QColor(0x9A, 0xB8, 0x90));
        p.drawRect(0, 0, 255, 255);
        p.drawLine(0, 128, 255, 128);
        p.drawLine(128, 0, 128, 255);
        p.end();
        QBuffer buffer(&png_);
        buffer.open(QIODevice::WriteOnly);
        tile.save(&buffer, "PNG");
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                ++connections;
                connect(s, &QTcpSocket::readyRead, s, [this, s] { answer(s); });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    // The tile URL of this server (after listen()).
    QString tileUrl() const
    {
        return QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(serverPort());
    }

    int connections = 0;
    int tileRequests = 0;

private:
    void answer(QTcpSocket* s)
    {
        const QByteArray request = s->readAll();
        const bool head = request.startsWith("HEAD ");
        if (request.startsWith("GET ") && request.contains(".png"))
            ++tileRequests;
        QByteArray reply = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nContent-Length: " +
                           QByteArray::number(png_.size()) + "\r\nConnection: close\r\n\r\n";
        if (!head)
            reply += png_;
        s->write(reply);
        s->disconnectFromHost();
    }
    QByteArray png_;
};

}  // namespace ravir::test
