#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

class QTcpSocket;
class QTimer;

namespace dirka {

/// An HTTP answer taken apart: the status, the Content-Type header, the body with any chunked
/// transfer coding removed. Status 0 when the bytes are no HTTP answer.
struct THttpAnswer {
    int Status = 0;
    QString ContentType;
    QByteArray Location; // where a redirection points
    QByteArray Body;
};

/// ParseHttpAnswer("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi") gives 200 and "hi".
THttpAnswer ParseHttpAnswer(const QByteArray& raw);

/// The parts of an "http://" or "https://" address a request needs, taken from the text as
/// written: SplitAddress(u"https://h.example:8443/a?b=%3b") gives TLS, host "h.example", port
/// 8443 and the target "/a?b=%3b". Host empty when the address is of neither scheme.
struct TRequestTarget {
    bool Tls = false;
    QString Host;
    quint16 Port = 0;
    QByteArray Target; // path and query as written, bytes a request line may not carry as %XX
};
TRequestTarget SplitAddress(const QString& address);

/// One GET of an address sent byte for byte as built: the report's query is defined down to
/// the case of its percent escapes, which the URL classes rewrite ("%3b" becomes "%3B").
/// Finished comes once, after the answer, a failure or the time limit.
class TReportRequest : public QObject {
    Q_OBJECT
public:
    TReportRequest(const QString& address, int timeoutMs, QObject* parent = nullptr);
    void Start();

    const THttpAnswer& Answer() const { return m_answer; }
    /// Empty when an answer came; otherwise what went wrong, as a browser would say it.
    const QString& ErrorText() const { return m_error; }

Q_SIGNALS:
    void Finished();

private:
    void finish(const QString& error);

    TRequestTarget m_target;
    QPointer<QTcpSocket> m_socket;
    QTimer* m_timer;
    QByteArray m_received;
    THttpAnswer m_answer;
    QString m_error;
    bool m_finished = false;
};

} // namespace dirka
