#include "gui/error_report/report_request.h"

#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

namespace dirka {

namespace {

QByteArray headerValue(QByteArrayView headers, QByteArrayView name)
{
    for (const QByteArray& line : headers.toByteArray().split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.first(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.sliced(colon + 1).trimmed();
    }
    return {};
}

// Chunks: a hexadecimal size line, the bytes, CR LF; a size of 0 ends them.
QByteArray unchunked(QByteArrayView body)
{
    QByteArray out;
    qsizetype at = 0;
    while (at < body.size()) {
        const qsizetype lineEnd = body.indexOf("\r\n", at);
        if (lineEnd < 0)
            break;
        QByteArrayView sizeText = body.sliced(at, lineEnd - at);
        if (const qsizetype semicolon = sizeText.indexOf(';'); semicolon >= 0)
            sizeText = sizeText.first(semicolon);
        bool ok = false;
        const qsizetype size = sizeText.trimmed().toLongLong(&ok, 16);
        if (!ok || size <= 0)
            break;
        at = lineEnd + 2;
        out += body.sliced(at, std::min(size, body.size() - at));
        at += size + 2;
    }
    return out;
}

// What a browser does with an address before it sends it: bytes a request line may not carry
// (non-ASCII, controls, space and a few marks) become %XX; everything else, escapes written in
// the address included, stays as written.
QByteArray requestTarget(QByteArrayView written)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (const char c : written) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || QByteArrayView("\"<>\\^`{|}").contains(c)) {
            out += '%';
            out += Hex[byte >> 4];
            out += Hex[byte & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

THttpAnswer ParseHttpAnswer(const QByteArray& raw)
{
    THttpAnswer answer;
    const qsizetype headEnd = raw.indexOf("\r\n\r\n");
    const QByteArrayView head = QByteArrayView(raw).first(headEnd < 0 ? raw.size() : headEnd);
    if (!head.startsWith("HTTP/"))
        return answer;
    const qsizetype lineEnd = head.indexOf('\r');
    const QList<QByteArray> statusLine =
        head.first(lineEnd < 0 ? head.size() : lineEnd).toByteArray().split(' ');
    answer.Status = statusLine.size() > 1 ? statusLine.at(1).toInt() : 0;
    const QByteArrayView headers = lineEnd < 0 ? QByteArrayView() : head.sliced(lineEnd);
    answer.ContentType = QString::fromLatin1(headerValue(headers, "Content-Type"));
    answer.Location = headerValue(headers, "Location");
    QByteArrayView body = headEnd < 0 ? QByteArrayView() : QByteArrayView(raw).sliced(headEnd + 4);
    if (headerValue(headers, "Transfer-Encoding").toLower().contains("chunked")) {
        answer.Body = unchunked(body);
        return answer;
    }
    bool sized = false;
    const qsizetype length = headerValue(headers, "Content-Length").toLongLong(&sized);
    if (sized && length >= 0 && length < body.size())
        body = body.first(length);
    answer.Body = body.toByteArray();
    return answer;
}

TRequestTarget SplitAddress(const QString& address)
{
    TRequestTarget target;
    const QByteArray bytes = address.toUtf8();
    qsizetype rest = 0;
    if (bytes.startsWith("https://")) {
        target.Tls = true;
        rest = 8;
    } else if (bytes.startsWith("http://")) {
        rest = 7;
    } else {
        return target;
    }
    qsizetype slash = bytes.indexOf('/', rest);
    if (slash < 0)
        slash = bytes.size();
    QByteArray authority = bytes.mid(rest, slash - rest);
    target.Target = slash < bytes.size() ? requestTarget(bytes.mid(slash)) : QByteArray("/");
    target.Port = target.Tls ? 443 : 80;
    // "[::1]:8080", "host:8080", "host"
    const qsizetype bracket = authority.indexOf(']');
    const qsizetype colon = authority.lastIndexOf(':');
    if (colon > bracket) {
        bool ok = false;
        const uint port = authority.mid(colon + 1).toUInt(&ok);
        if (ok && port > 0 && port <= 0xFFFF)
            target.Port = quint16(port);
        authority.truncate(colon);
    }
    if (authority.startsWith('[') && authority.endsWith(']'))
        authority = authority.mid(1, authority.size() - 2);
    target.Host = QString::fromUtf8(authority);
    return target;
}

TReportRequest::TReportRequest(const QString& address, int timeoutMs, QObject* parent)
    : QObject(parent), m_target(SplitAddress(address)), m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setInterval(timeoutMs);
    connect(m_timer, &QTimer::timeout, this,
            [this] { finish(QStringLiteral("The server did not answer in time.")); });
}

void TReportRequest::Start()
{
    if (m_target.Host.isEmpty()) {
        QTimer::singleShot(0, this, [this] { finish(QStringLiteral("Unknown address.")); });
        return;
    }
    m_socket = m_target.Tls ? new QSslSocket(this) : new QTcpSocket(this);
    const QByteArray hostHeader =
        m_target.Host.toUtf8() + (m_target.Port == (m_target.Tls ? 443 : 80)
                                      ? QByteArray()
                                      : ':' + QByteArray::number(m_target.Port));
    const QByteArray request = "GET " + m_target.Target + " HTTP/1.1\r\nHost: " + hostHeader +
                               "\r\nAccept: */*\r\nConnection: close\r\n\r\n";
    const auto send = [this, request] { m_socket->write(request); };
    if (auto* tls = qobject_cast<QSslSocket*>(m_socket.data())) {
        connect(tls, &QSslSocket::encrypted, this, send);
        tls->connectToHostEncrypted(m_target.Host, m_target.Port);
    } else {
        connect(m_socket, &QTcpSocket::connected, this, send);
        m_socket->connectToHost(m_target.Host, m_target.Port);
    }
    connect(m_socket, &QTcpSocket::readyRead, this, [this] { m_received += m_socket->readAll(); });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        m_received += m_socket->readAll();
        finish(QString());
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError e) {
        // The server closing after its answer is the end of the answer, not a failure.
        finish(e == QAbstractSocket::RemoteHostClosedError ? QString() : m_socket->errorString());
    });
    m_timer->start();
}

void TReportRequest::finish(const QString& error)
{
    if (m_finished)
        return;
    m_finished = true;
    m_timer->stop();
    if (m_socket) {
        m_received += m_socket->readAll();
        m_socket->abort();
    }
    m_answer = ParseHttpAnswer(m_received);
    m_error = m_answer.Status > 0 ? QString() : error;
    if (m_error.isEmpty() && m_answer.Status == 0)
        m_error = QStringLiteral("The server's answer could not be read.");
    Q_EMIT Finished();
}

} // namespace dirka
