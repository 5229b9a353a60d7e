#include "support/loopback_server.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace pelorin::testing_support {

LoopbackServer::LoopbackServer() {
  clock_.start();
  server_.listen(QHostAddress::LocalHost, 0);
  connect(&server_, &QTcpServer::newConnection, this, [this] {
    while (QTcpSocket* s = server_.nextPendingConnection()) {
      connect(s, &QTcpSocket::readyRead, this, [this, s] { serve(s); });
      connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
    }
  });
}

std::string LoopbackServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port()) + path;
}

std::size_t LoopbackServer::hits(const std::string& path) const {
  auto it = hits_.find(path);
  return it == hits_.end() ? 0 : it->second.size();
}

const std::vector<qint64>& LoopbackServer::times(const std::string& path) const {
  static const std::vector<qint64> none;
  auto it = hits_.find(path);
  return it == hits_.end() ? none : it->second;
}

void LoopbackServer::serve(QTcpSocket* socket) {
  const QByteArray request = socket->peek(socket->bytesAvailable());
  if (!request.contains("\r\n\r\n")) return;
  socket->readAll();
  const QList<QByteArray> words = request.left(request.indexOf("\r\n")).split(' ');
  if (words.size() >= 2) hits_[words[1].toStdString()].push_back(clock_.elapsed());
  const QByteArray body = "<html><body>page</body></html>";
  socket->write(
      "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nCache-Control: no-store\r\n"
      "Connection: close\r\nContent-Length: " +
      QByteArray::number(body.size()) + "\r\n\r\n" + body);
  socket->disconnectFromHost();
}

std::vector<std::string>& answer_message_boxes() {
  static std::vector<std::string> texts;
  static QTimer* timer = [] {
    auto* t = new QTimer(qApp);
    QObject::connect(t, &QTimer::timeout, [] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
          texts.push_back(box->text().toStdString());
          box->accept();
        }
      }
    });
    t->start(20);
    return t;
  }();
  (void)timer;
  return texts;
}

}  // namespace pelorin::testing_support
