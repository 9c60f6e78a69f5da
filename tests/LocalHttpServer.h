#pragma once
// A small web server on 127.0.0.1 for the update tests: plain HTTP, or HTTPS with a certificate
// made for the test run. Each path answers with its status and body, or never answers.

#include <QFile>
#include <QHash>
#include <QPointer>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <memory>

struct TestCertificate {
    QSslCertificate certificate;
    QSslKey key;
    QString problem;
    // A certificate for 127.0.0.1, valid for two days, made by the openssl command in folder.
    static TestCertificate make(const QString &folder)
    {
        TestCertificate t;
        QProcess openssl;
        openssl.setWorkingDirectory(folder);
        openssl.start(QStringLiteral("openssl"),
                      {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                       "key.pem", "-out", "cert.pem", "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                       "subjectAltName=IP:127.0.0.1"});
        if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
            t.problem = QStringLiteral("openssl failed: ") + QString::fromLocal8Bit(openssl.readAllStandardError());
            return t;
        }
        QFile cert(folder + QStringLiteral("/cert.pem")), key(folder + QStringLiteral("/key.pem"));
        if (cert.open(QIODevice::ReadOnly))
            t.certificate = QSslCertificate(cert.readAll(), QSsl::Pem);
        if (key.open(QIODevice::ReadOnly))
            t.key = QSslKey(key.readAll(), QSsl::Ec, QSsl::Pem);
        if (t.certificate.isNull() || t.key.isNull())
            t.problem = QStringLiteral("the test certificate could not be read");
        return t;
    }
};

class LocalHttpServer : public QObject {
public:
    struct Route {
        Route(int status_ = 200, const QByteArray &body_ = {}, bool silent_ = false, const QByteArray &location_ = {})
            : status(status_), body(body_), silent(silent_), location(location_)
        {
        }
        int status;
        QByteArray body;
        bool silent;         // takes the request and never answers
        QByteArray location; // for a redirect
        QByteArray phrase;   // the status text, when not the usual one
        QByteArray headers;  // more header lines, each ending in CR LF
        bool trickle = false; // sends the header, then one byte of the body at each drip()
        // Sends an answer that never ends, as fast as the client takes it: in chunks, or as bare
        // bytes after the header (with no length, or a false one given in headers).
        enum class Endless { No, Chunked, Unframed } endless = Endless::No;
    };
    qint64 endlessBytesSent = 0; // of every endless answer so far
    QHash<QString, Route> routes;
    QStringList requested; // the paths asked for, in order

    // Sends the next bytes of every trickling answer; false when none is left to send.
    bool drip(int bytes = 1)
    {
        bool sent = false;
        for (auto it = m_trickles.begin(); it != m_trickles.end();) {
            if (!it->socket || it->left.isEmpty()) {
                if (it->socket)
                    it->socket->disconnectFromHost();
                it = m_trickles.erase(it);
                continue;
            }
            it->socket->write(it->left.left(bytes));
            it->left.remove(0, bytes);
            sent = true;
            ++it;
        }
        return sent;
    }

    // HTTPS when a certificate is given, plain HTTP otherwise.
    bool listen(const TestCertificate *tls = nullptr)
    {
        if (tls) {
            auto *server = new QSslServer(this);
            QSslConfiguration config = QSslConfiguration::defaultConfiguration();
            config.setLocalCertificate(tls->certificate);
            config.setPrivateKey(tls->key);
            config.setPeerVerifyMode(QSslSocket::VerifyNone);
            server->setSslConfiguration(config);
            m_server = server;
            m_scheme = QStringLiteral("https");
        } else {
            m_server = new QTcpServer(this);
            m_scheme = QStringLiteral("http");
        }
        connect(m_server, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket *socket = m_server->nextPendingConnection())
                serve(socket);
        });
        return m_server->listen(QHostAddress::LocalHost);
    }
    QUrl url() const { return QUrl(QStringLiteral("%1://127.0.0.1:%2").arg(m_scheme).arg(m_server->serverPort())); }

private:
    void serve(QTcpSocket *socket)
    {
        auto request = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, socket, [this, socket, request] {
            *request += socket->readAll();
            if (!request->contains("\r\n\r\n"))
                return;
            const QList<QByteArray> line = request->left(request->indexOf("\r\n")).split(' ');
            const QString path = QString::fromLatin1(line.value(1));
            requested << path;
            const auto route = routes.constFind(path);
            const Route r = route == routes.constEnd() ? Route{404, "<html>Not Found</html>"} : *route;
            if (r.silent)
                return;
            static const QHash<int, QByteArray> phrases = {{200, "OK"}, {302, "Found"}, {404, "Not Found"},
                                                           {500, "Internal Server Error"}};
            QByteArray answer = "HTTP/1.1 " + QByteArray::number(r.status) + ' ' +
                                (r.phrase.isEmpty() ? phrases.value(r.status, "Other") : r.phrase) + "\r\n" +
                                (r.endless == Route::Endless::No ? "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n"
                                 : r.endless == Route::Endless::Chunked ? QByteArray("Transfer-Encoding: chunked\r\n")
                                                                         : QByteArray()) +
                                "Connection: close\r\n" + r.headers;
            if (!r.location.isEmpty())
                answer += "Location: " + r.location + "\r\n";
            if (r.endless != Route::Endless::No) {
                socket->write(answer + "\r\n");
                sendEndlessly(socket, r.endless == Route::Endless::Chunked);
                return;
            }
            if (r.trickle) {
                socket->write(answer + "\r\n");
                m_trickles.append({QPointer<QTcpSocket>(socket), r.body});
                return;
            }
            socket->write(answer + "\r\n" + r.body);
            socket->disconnectFromHost();
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    // Keeps about 1 MB queued on the socket for as long as the client stays.
    void sendEndlessly(QTcpSocket *socket, bool chunked)
    {
        static const QByteArray piece(64 * 1024, '1');
        static const QByteArray chunk = QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
        auto *tls = qobject_cast<QSslSocket *>(socket);
        // Over TLS what is written is encrypted at once into a queue of its own: both count.
        const auto queued = [socket, tls] { return socket->bytesToWrite() + (tls ? tls->encryptedBytesToWrite() : 0); };
        const auto fill = [this, socket, chunked, queued] {
            const QByteArray &next = chunked ? chunk : piece;
            while (socket->state() == QAbstractSocket::ConnectedState && queued() < (1 << 20)) {
                socket->write(next);
                endlessBytesSent += next.size();
            }
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, fill);
        if (tls)
            connect(tls, &QSslSocket::encryptedBytesWritten, socket, fill);
        fill();
    }

    struct Trickle {
        QPointer<QTcpSocket> socket;
        QByteArray left;
    };
    QList<Trickle> m_trickles;
    QTcpServer *m_server = nullptr;
    QString m_scheme;
};
