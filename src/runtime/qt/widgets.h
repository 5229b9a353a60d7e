// The widgets that realise the template's control kinds where Qt has no exact match.
#pragma once

#include <QTabBar>
#include <QTextBrowser>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>
#include <vector>

#include "runtime/window_template.h"

namespace pelorin::qt {

class QtRuntime;

// A rectangle outline with no fill; its children are clipped to it.
class ShapeWidget : public QWidget {
 public:
  ShapeWidget(QWidget* parent, const runtime::ControlTemplate& row);

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  int width_;
  QColor color_;
};

// A row of tabs along the top; each page is the set of controls placed on it, shown only while
// its tab is selected.
class TabControl : public QWidget {
 public:
  TabControl(QWidget* parent, const runtime::ControlTemplate& row);
  void add_to_page(int page, QWidget* w);
  void select(int page);
  QTabBar* bar() const { return bar_; }

 private:
  QTabBar* bar_;
  std::vector<std::vector<QWidget*>> pages_;
};

// A page that never opens a dialog of its own: no script boxes, no file choosers, no new
// windows, no authentication or certificate prompts. Every navigation request is announced as
// the browser's about-to-navigate event and then goes ahead.
class SilentPage : public QWebEnginePage {
 public:
  SilentPage(QtRuntime& rt, runtime::ControlId id, QObject* parent);

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool main_frame) override;
  void javaScriptAlert(const QUrl&, const QString&) override {}
  bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
  bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override {
    return false;
  }
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                const QString&) override {}
  QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override {
    return {};
  }
  QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

 private:
  QtRuntime& rt_;
  runtime::ControlId id_;
};

// The footer box: one line of HTML with its own style sheet; a click on a link opens the link in
// the user's browser and changes nothing in the box.
class HypertextBox : public QTextBrowser {
 public:
  HypertextBox(QWidget* parent, const runtime::ControlTemplate& row);
};

}  // namespace pelorin::qt
