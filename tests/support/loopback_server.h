// A loopback HTTP server on the Qt event loop that answers every GET with a small page and
// counts the requests per path, with their arrival times.
#pragma once

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <map>
#include <string>
#include <vector>

namespace pelorin::testing_support {

class LoopbackServer : public QObject {
 public:
  LoopbackServer();
  quint16 port() const { return server_.serverPort(); }
  std::string url(const std::string& path) const;
  std::size_t hits(const std::string& path) const;
  const std::vector<qint64>& times(const std::string& path) const;  // ms since the start

 private:
  void serve(QTcpSocket* socket);
  QTcpServer server_;
  QElapsedTimer clock_;
  std::map<std::string, std::vector<qint64>> hits_;
};

// Closes every message box as soon as it opens, as a user answering it would; returns the texts.
std::vector<std::string>& answer_message_boxes();

}  // namespace pelorin::testing_support
