// The bottom strip on the Qt backend: the footer as drawn, its links, and the right-click capture
// over real widgets (the banner view's widget tree and a tree of the test's own).
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDesktopServices>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextLayout>
#include <QTimer>
#include <QWebEngineView>
#include <functional>
#include <ostream>
#include <vector>

#include "addresses.h"
#include "banner/capture.h"
#include "banner/footer.h"
#include "controls.h"
#include "runtime/qt/gbk.h"
#include "support/qt_session.h"

namespace pelorin {
namespace {

using testing_support::run_qt_session;
using testing_support::spin_for;
using testing_support::spin_until;

const QColor kGround(0xaa, 0xd5, 0xf4);

QTextBrowser* footer(qt::QtRuntime& rt) {
  return qobject_cast<QTextBrowser*>(rt.widget(ctl::简单超文本框1));
}

// A pixel of a link's blue (alone or blended with the ground) has far more blue than red or green;
// black and red text on the light blue ground never do.
bool bluish(QColor c) {
  return c.blue() - std::max(c.red(), c.green()) > 45;
}

// The middle of the n-th link of the footer, in the box's viewport.
QPoint link_point(QTextBrowser* box, int n) {
  int seen = 0;
  for (QTextBlock b = box->document()->begin(); b.isValid(); b = b.next()) {
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment f = it.fragment();
      if (!f.charFormat().isAnchor() || seen++ != n) continue;
      QTextCursor c(box->document());
      c.setPosition(f.position() + f.length() / 2);
      return box->cursorRect(c).center();
    }
  }
  return {-1, -1};
}

TEST(Footer, OneLineOnTheLightBlueGroundWithPlainLinks) {
  run_qt_session([](qt::QtRuntime& rt) {
    QTextBrowser* box = footer(rt);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->geometry(), QRect(15, 473, 616, 20));
    EXPECT_EQ(box->frameWidth(), 0) << "no border";
    EXPECT_EQ(qt::to_gbk(box->document()->defaultStyleSheet()), banner::kFooterStyleSheet);
    ASSERT_TRUE(spin_until([&] { return box->isVisible(); }));
    spin_for(std::chrono::milliseconds(300));

    // One line: the text fits the 616 pixels.
    ASSERT_EQ(box->document()->blockCount(), 1);
    EXPECT_EQ(box->document()->begin().layout()->lineCount(), 1)
        << "ideal width " << box->document()->idealWidth();
    EXPECT_LE(box->document()->size().height(), 20);

    for (QTextBlock b = box->document()->begin(); b.isValid(); b = b.next()) {
      for (auto it = b.begin(); !it.atEnd(); ++it) {
        const QTextCharFormat f = it.fragment().charFormat();
        if (f.isAnchor()) {
          EXPECT_FALSE(f.fontUnderline()) << it.fragment().text().toStdString();
        }
      }
    }

    const QImage plain = box->grab().toImage();
    plain.save("footer.png");
    // The ground everywhere the text leaves free: the right end and the bottom row.
    EXPECT_EQ(plain.pixelColor(610, 10), kGround);
    EXPECT_EQ(plain.pixelColor(2, 19), kGround);
    EXPECT_EQ(plain.pixelColor(300, 19), kGround);
    int blue = 0, red = 0;
    for (int y = 0; y < plain.height(); ++y) {
      for (int x = 0; x < plain.width(); ++x) {
        const QColor c = plain.pixelColor(x, y);
        blue += bluish(c);
        red += c.red() > 200 && c.green() < 80 && c.blue() < 80;
      }
    }
    EXPECT_EQ(blue, 0) << "no link is drawn in the palette's link blue";
    EXPECT_GT(red, 0) << "the brand shows in red";

    // Under the mouse nothing changes: no underline comes.
    const QPoint over = link_point(box, 0);
    ASSERT_GE(over.x(), 0);
    QTest::mouseMove(box->viewport(), over);
    spin_for(std::chrono::milliseconds(200));
    const QImage hover = box->grab().toImage();
    hover.save("footer_hover.png");
    EXPECT_EQ(hover, plain);
  });
}

// Stands in for the user's browser: QDesktopServices hands it every http address to open.
class BrowserStandIn : public QObject {
  Q_OBJECT
 public:
  std::vector<QUrl> opened;
 public Q_SLOTS:
  void open(const QUrl& url) { opened.push_back(url); }
};

TEST(Footer, ALeftClickOnALinkOpensTheHomepageAndLeavesTheWindowAsItWas) {
  run_qt_session([](qt::QtRuntime& rt) {
    BrowserStandIn browser;
    QDesktopServices::setUrlHandler("http", &browser, "open");
    QTextBrowser* box = footer(rt);
    ASSERT_TRUE(spin_until([&] { return box->isVisible(); }));
    spin_for(std::chrono::milliseconds(500));  // the window manager has placed the window
    const QString html = box->toHtml();
    const QRect window = rt.main_window()->geometry();
    const QImage looks = box->grab().toImage();
    for (int n : {0, 1}) {
      SCOPED_TRACE(n);
      const QPoint at = link_point(box, n);
      ASSERT_GE(at.x(), 0);
      QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, at);
      ASSERT_TRUE(
          spin_until([&] { return browser.opened.size() == static_cast<std::size_t>(n + 1); }));
      EXPECT_EQ(browser.opened.back().toString(), QString(addresses::kHomepage));
    }
    spin_for(std::chrono::milliseconds(200));
    EXPECT_EQ(browser.opened.size(), 2u);
    EXPECT_EQ(box->toHtml(), html);
    QTest::mouseMove(box->viewport(), QPoint(600, 10));
    spin_for(std::chrono::milliseconds(100));
    EXPECT_EQ(box->grab().toImage(), looks) << "no link stays picked out";
    EXPECT_TRUE(box->source().isEmpty());
    EXPECT_TRUE(rt.main_window()->isVisible());
    EXPECT_EQ(rt.main_window()->geometry(), window);
    QDesktopServices::unsetUrlHandler("http");
  });
}

// ---- the capture over Qt widgets
// --------------------------------------------------------------------

void walk(QWidget* w, std::vector<runtime::WindowHandle>& out) {
  out.push_back(reinterpret_cast<runtime::WindowHandle>(w));
  for (QObject* child : w->children()) {
    if (auto* cw = qobject_cast<QWidget*>(child)) walk(cw, out);
  }
}

std::vector<runtime::WindowHandle> registered() {
  std::vector<runtime::WindowHandle> out;
  if (banner::registry) {
    for (const banner::SubclassRecord& r : banner::registry->records) out.push_back(r.window);
  }
  return out;
}

// A widget that notes which of the mapped events reach it.
class Recorder : public QWidget {
 public:
  using QWidget::QWidget;
  std::vector<QEvent::Type> seen;

 protected:
  bool event(QEvent* e) override {
    switch (e->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::ContextMenu:
        seen.push_back(e->type());
        break;
      default:
        break;
    }
    return QWidget::event(e);
  }
};

std::vector<std::pair<int, int>> presses;
void note_press(int x, int y) {
  presses.emplace_back(x, y);
}

TEST(QtCapture, TheWindowTreeIsTheWidgetTreeInQtsOrder) {
  run_qt_session([](qt::QtRuntime&) {
    Recorder root;
    auto* a = new Recorder(&root);
    new QTimer(&root);  // not a widget: no window of the tree
    auto* b = new Recorder(&root);
    auto* a1 = new Recorder(a);
    auto* a2 = new Recorder(a);
    auto* b1 = new Recorder(b);
    const std::size_t before = registered().size();
    banner::capture_right_clicks(reinterpret_cast<runtime::WindowHandle>(&root), &note_press);
    const std::vector<runtime::WindowHandle> all = registered();
    const std::vector<runtime::WindowHandle> got(all.begin() + static_cast<long>(before),
                                                 all.end());
    std::vector<runtime::WindowHandle> want;
    for (QWidget* w : std::initializer_list<QWidget*>{&root, a, a1, a2, b, b1}) {
      want.push_back(reinterpret_cast<runtime::WindowHandle>(w));
    }
    EXPECT_EQ(got, want);
  });
}

struct EventCase {
  const char* name;
  std::function<QEvent*()> make;
  bool reaches_widget;
  bool clicks;
};

QMouseEvent* mouse(QEvent::Type type, Qt::MouseButton button, QPoint at = {7, -3}) {
  return new QMouseEvent(type, at, QPointF(at) + QPointF(100, 100), button, button, Qt::NoModifier);
}

const EventCase kEvents[] = {
    {"RightPressCallsTheRoutine", [] { return mouse(QEvent::MouseButtonPress, Qt::RightButton); },
     false, true},
    {"RightReleaseIsSwallowed", [] { return mouse(QEvent::MouseButtonRelease, Qt::RightButton); },
     false, false},
    {"RightDoubleClickGoesOn", [] { return mouse(QEvent::MouseButtonDblClick, Qt::RightButton); },
     true, false},
    {"MouseContextMenuIsSwallowed",
     [] { return new QContextMenuEvent(QContextMenuEvent::Mouse, QPoint(7, 3), QPoint(107, 103)); },
     false, false},
    {"KeyboardContextMenuGoesOn",
     [] {
       return new QContextMenuEvent(QContextMenuEvent::Keyboard, QPoint(7, 3), QPoint(107, 103));
     },
     true, false},
    {"LeftPressGoesOn", [] { return mouse(QEvent::MouseButtonPress, Qt::LeftButton); }, true,
     false},
};

void PrintTo(const EventCase& c, std::ostream* os) {
  *os << c.name;
}

class QtCaptureEvents : public ::testing::TestWithParam<EventCase> {};

TEST_P(QtCaptureEvents, MapToTheCaptureProcedure) {
  const EventCase& c = GetParam();
  run_qt_session([&](qt::QtRuntime&) {
    presses.clear();
    Recorder root;
    auto* child = new Recorder(&root);
    banner::capture_right_clicks(reinterpret_cast<runtime::WindowHandle>(&root), &note_press);
    std::unique_ptr<QEvent> e(c.make());
    const QEvent::Type type = e->type();
    QApplication::sendEvent(child, e.get());
    EXPECT_EQ(child->seen,
              c.reaches_widget ? std::vector<QEvent::Type>{type} : std::vector<QEvent::Type>{});
    if (c.clicks) {
      EXPECT_EQ(presses, (std::vector<std::pair<int, int>>{{7, -3}}))
          << "the press position, negative y included";
    } else {
      EXPECT_TRUE(presses.empty());
    }
  });
}

INSTANTIATE_TEST_SUITE_P(Events, QtCaptureEvents, ::testing::ValuesIn(kEvents),
                         [](const auto& row) { return std::string(row.param.name); });

// The banner itself: its widget tree is captured by the browser's own about-to-navigate events
// after loading, and a right press on the widget that takes the page's mouse input opens the main
// menu with its top-left corner at the cursor; 隐藏窗口 there hides the window.
TEST(QtCapture, ARightPressOnTheBannerOpensTheMainMenuAtTheCursor) {
  run_qt_session([](qt::QtRuntime& rt) {
    auto* view = qobject_cast<QWebEngineView*>(rt.widget(ctl::超文本浏览框2));
    ASSERT_NE(view, nullptr);
    std::vector<runtime::WindowHandle> tree;
    ASSERT_TRUE(spin_until(
        [&] {
          tree.clear();
          walk(view, tree);
          const auto got = registered();
          return tree.size() > 1 &&
                 std::all_of(tree.begin(), tree.end(), [&](runtime::WindowHandle w) {
                   return std::find(got.begin(), got.end(), w) != got.end();
                 });
        },
        std::chrono::seconds(30)))
        << "the view and its children are captured";
    EXPECT_EQ(registered().front(), reinterpret_cast<runtime::WindowHandle>(view));

    QWidget* input = view->focusProxy() ? view->focusProxy() : view;
    const QPoint cursor(400, 500);
    QCursor::setPos(cursor);
    spin_until([&] { return QCursor::pos() == cursor; }, std::chrono::seconds(2));
    QStringList titles;
    QPoint corner;
    QTimer::singleShot(300, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      corner = menu->pos();
      for (QAction* a : menu->actions()) titles << a->text();
      menu->actions().at(0)->trigger();
      menu->close();
    });
    std::unique_ptr<QMouseEvent> press(mouse(QEvent::MouseButtonPress, Qt::RightButton, {50, 30}));
    QApplication::sendEvent(input, press.get());
    EXPECT_EQ(titles, (QStringList{"隐藏窗口", "显示界面", "退出程序", "官方网站"}));
    EXPECT_EQ(corner, QCursor::pos());
    EXPECT_TRUE(spin_until([&] { return !rt.main_window()->isVisible(); }));
    spin_for(std::chrono::milliseconds(300));
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "no menu of the browser's own";
  });
}

}  // namespace
}  // namespace pelorin

#include "qt_banner_test.moc"
