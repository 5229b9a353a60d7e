// The main window as the Qt backend realises it: every row of the template becomes a widget of
// the right kind, in the right parent, at its rectangle, with its visibility and text.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTabBar>
#include <QTextBrowser>
#include <QWebEngineView>

#include "app/app.h"
#include "controls.h"
#include "runtime/qt/gbk.h"
#include "runtime/qt/widgets.h"
#include "support/qt_session.h"

namespace pelorin {
namespace {

using runtime::Kind;
using testing_support::run_qt_session;

bool is_kind(QWidget* w, Kind kind) {
  switch (kind) {
    case Kind::edit_box:
      return qobject_cast<QLineEdit*>(w) != nullptr;
    case Kind::push_button:
      return qobject_cast<QPushButton*>(w) != nullptr;
    case Kind::label:
    case Kind::transparent_label:
      return qobject_cast<QLabel*>(w) != nullptr;
    case Kind::shape:
      return dynamic_cast<qt::ShapeWidget*>(w) != nullptr;
    case Kind::tab_control:
      return dynamic_cast<qt::TabControl*>(w) != nullptr;
    case Kind::browser:
      return qobject_cast<QWebEngineView*>(w) != nullptr;
    case Kind::simple_hypertext:
      return qobject_cast<QTextBrowser*>(w) != nullptr;
    case Kind::hyperlink_box:
      return w != nullptr;
    case Kind::timer:
      return w == nullptr;  // a timer has no face
  }
  return false;
}

// Shown after start-up: visible itself, on page 1 if on a page, and so are all its parents.
bool shown_at_start(const runtime::ControlTemplate& row) {
  if (!row.visible || row.page > 0) return false;
  return row.parent == runtime::kMainWindow ||
         shown_at_start(app::main_window().controls[row.parent.index]);
}

QString text_of(QWidget* w) {
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* b = qobject_cast<QPushButton*>(w)) return b->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* v = qobject_cast<QWebEngineView*>(w)) return v->url().toString();
  return {};
}

TEST(Window, EveryControlIsRealisedAsTheTemplateSays) {
  run_qt_session([](qt::QtRuntime& rt) {
    QMainWindow* main = rt.main_window();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(main->windowTitle(), qt::from_gbk(app::kTitle));
    EXPECT_EQ(main->centralWidget()->width(), 639);
    EXPECT_FALSE(main->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(main->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(main->minimumSize(), main->maximumSize()) << "not resizable";

    for (const runtime::ControlTemplate& row : app::main_window().controls) {
      SCOPED_TRACE(qt::from_gbk(row.name).toStdString());
      QWidget* w = rt.widget(row.id);
      EXPECT_TRUE(is_kind(w, row.kind));
      if (!w) continue;
      EXPECT_EQ(w->objectName(), qt::from_gbk(row.name));
      EXPECT_EQ(w->geometry(), QRect(row.rect.x, row.rect.y, row.rect.w, row.rect.h));
      QWidget* parent =
          row.parent == runtime::kMainWindow ? main->centralWidget() : rt.widget(row.parent);
      EXPECT_EQ(w->parentWidget(), parent);
      EXPECT_EQ(w->isVisibleTo(main), shown_at_start(row));
      if (row.kind == Kind::browser && !row.text.empty()) {
        EXPECT_EQ(text_of(w), qt::from_gbk(row.text));
      } else if (row.kind != Kind::browser && row.kind != Kind::simple_hypertext) {
        EXPECT_EQ(text_of(w), qt::from_gbk(row.text));
      }
    }

    // The menu bar: three menus, the main menu with its four items.
    const QList<QAction*> menus = main->menuBar()->actions();
    ASSERT_EQ(menus.size(), 3);
    EXPECT_EQ(menus[0]->text(), "菜单");
    EXPECT_EQ(menus[1]->text(), "工具");
    QStringList items;
    for (QAction* a : menus[0]->menu()->actions()) items << a->text();
    EXPECT_EQ(items, QStringList({"隐藏窗口", "显示界面", "退出程序", "官方网站"}));
  });
}

TEST(Window, SwitchingPagesShowsOnlyTheSelectedPagesContainer) {
  run_qt_session([](qt::QtRuntime& rt) {
    auto* tabs = dynamic_cast<qt::TabControl*>(rt.widget(ctl::高级选择夹1));
    ASSERT_NE(tabs, nullptr);
    const runtime::ControlId containers[] = {ctl::外形框1, ctl::外形框3, ctl::外形框4, ctl::外形框5,
                                             ctl::外形框6};
    for (int page = 0; page < 5; ++page) {
      tabs->bar()->setCurrentIndex(page);
      for (int other = 0; other < 5; ++other) {
        EXPECT_EQ(rt.widget(containers[other])->isVisibleTo(rt.main_window()), other == page)
            << "page " << page << ", container " << other;
      }
      EXPECT_EQ(tabs->bar()->tabText(page),
                qt::from_gbk(app::main_window().controls[0].tabs[page]));
    }
  });
}

TEST(Window, TheBannerFrameClipsItsBrowserToTheStrip) {
  run_qt_session([](qt::QtRuntime& rt) {
    QWidget* frame = rt.widget(ctl::外形框2);
    QWidget* banner = rt.widget(ctl::超文本浏览框2);
    EXPECT_EQ(banner->parentWidget(), frame);
    EXPECT_EQ(frame->rect().intersected(banner->geometry()), QRect(0, 0, 639, 62));
    // The browser's own point (37, 18) is the strip's top-left corner.
    EXPECT_EQ(banner->mapTo(frame, QPoint(37, 18)), QPoint(0, 0));
  });
}

}  // namespace
}  // namespace pelorin
