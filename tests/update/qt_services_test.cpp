// The Qt backend's part of the hand-over: the information box shows the notes as plain text,
// never as markup, and the hyperlink box and open URL hand the address to the desktop's "open",
// which here reaches a stand-in browser named by $BROWSER.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "controls.h"
#include "runtime/qt/gbk.h"
#include "support/qt_session.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing_support::run_qt_session;
using testing_support::spin_for;
using testing_support::spin_until;

TEST(MessageBox, ShowsTheNotesAsPlainText) {
  // This file is compiled as UTF-8; the box is given the tool's GBK bytes.
  const runtime::Text message =
      qt::to_gbk(QString::fromUtf8("发现有新的版本(1.4)\r\n<b>bold</b> &amp; <a href=\"x\">link</a>"
                                   "\r\n<p>end</p>"));
  struct Seen {
    bool found = false;
    Qt::TextFormat format = Qt::AutoText;
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    Qt::WindowModality modality = Qt::NonModal;
    bool has_parent = true;
  } seen;
  run_qt_session([&](qt::QtRuntime& rt) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      seen = {true,
              box->textFormat(),
              box->text(),
              box->windowTitle(),
              box->icon(),
              box->standardButtons(),
              box->windowModality(),
              box->parentWidget() != nullptr};
      box->button(QMessageBox::Ok)->click();
    });
    poll.start(50);
    rt.message_box(message, 64);  // returns once the box is closed
  });
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.format, Qt::PlainText);
  EXPECT_EQ(seen.text, qt::from_gbk(message));
  EXPECT_EQ(seen.title, QString::fromUtf8("信息："));
  EXPECT_EQ(seen.icon, QMessageBox::Information);
  EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(seen.modality, Qt::ApplicationModal);
  EXPECT_FALSE(seen.has_parent);
}

// A stand-in browser that appends each address it is given to a log, one a line.
class Browser : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pelorin-browser-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    const fs::path script = dir / "browser";
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"" << (dir / "log").string()
                          << "\"\n";
    fs::permissions(script, fs::perms::owner_all);
    setenv("BROWSER", script.c_str(), 1);
    unsetenv("DEFAULT_BROWSER");
    // No desktop environment: the desktop's "open" goes to $BROWSER.
    unsetenv("XDG_CURRENT_DESKTOP");
    unsetenv("DESKTOP_SESSION");
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string log() const {
    std::ifstream in(dir / "log");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  fs::path dir;
};

TEST_F(Browser, TheHyperlinkBoxOpensItsAddress) {
  const runtime::Text homepage = "http://soft.pelorin.example/?soft";
  run_qt_session([&](qt::QtRuntime& rt) {
    rt.write_hyperlink_address(ctl::超级链接框1, "");
    rt.navigate_hyperlink(ctl::超级链接框1);  // an empty address opens nothing
    spin_for(1500ms);
    EXPECT_EQ(log(), "");
    rt.write_hyperlink_address(ctl::超级链接框1, homepage);
    rt.navigate_hyperlink(ctl::超级链接框1);
    EXPECT_TRUE(spin_until([&] { return !log().empty(); }));
  });
  EXPECT_EQ(log(), homepage + "\n");
}

TEST_F(Browser, OpenUrlOpensTheAddress) {
  run_qt_session([&](qt::QtRuntime& rt) {
    rt.open_url("http://soft.pelorin.example/?QTVAR");
    EXPECT_TRUE(spin_until([&] { return !log().empty(); }));
  });
  EXPECT_EQ(log(), "http://soft.pelorin.example/?QTVAR\n");
}

}  // namespace
}  // namespace pelorin
