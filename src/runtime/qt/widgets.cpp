#include "runtime/qt/widgets.h"

#include <QDesktopServices>
#include <QPainter>
#include <QWebEngineSettings>

#include "runtime/qt/gbk.h"
#include "runtime/qt/qt_runtime.h"

namespace pelorin::qt {

namespace {
QColor rgb(std::uint32_t c) { return QColor::fromRgb(c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF); }
}  // namespace

ShapeWidget::ShapeWidget(QWidget* parent, const runtime::ControlTemplate& row)
    : QWidget(parent),
      width_(row.outline_width),
      color_(rgb(row.outline_color)),
      inside_(row.outline_inside) {}

void ShapeWidget::paintEvent(QPaintEvent*) {
  if (width_ <= 0) return;
  QPainter p(this);
  // The outline lies inside the widget's edge either way: a widget cannot draw past itself.
  const int w = width_;
  p.fillRect(0, 0, width(), w, color_);
  p.fillRect(0, height() - w, width(), w, color_);
  p.fillRect(0, 0, w, height(), color_);
  p.fillRect(width() - w, 0, w, height(), color_);
  (void)inside_;
}

TabControl::TabControl(QWidget* parent, const runtime::ControlTemplate& row)
    : QWidget(parent), bar_(new QTabBar(this)), pages_(row.tabs.size()) {
  for (std::string_view tab : row.tabs) bar_->addTab(from_gbk(tab));
  bar_->setDrawBase(false);
  bar_->setExpanding(false);
  bar_->setStyleSheet("QTabBar::tab { padding: 1px 6px; height: 20px; }");
  bar_->setGeometry(0, 0, row.rect.w, 23);
  connect(bar_, &QTabBar::currentChanged, this, [this](int page) { select(page); });
}

void TabControl::add_to_page(int page, QWidget* w) {
  pages_.at(static_cast<std::size_t>(page)).push_back(w);
}

void TabControl::select(int page) {
  for (std::size_t i = 0; i < pages_.size(); ++i) {
    for (QWidget* w : pages_[i]) w->setVisible(static_cast<int>(i) == page);
  }
  if (bar_->currentIndex() != page) bar_->setCurrentIndex(page);
}

SilentPage::SilentPage(QtRuntime& rt, runtime::ControlId id, QObject* parent)
    : QWebEnginePage(parent), rt_(rt), id_(id) {}

bool SilentPage::acceptNavigationRequest(const QUrl&, NavigationType, bool) {
  rt_.raise_about_to_navigate(id_);
  return true;
}

HypertextBox::HypertextBox(QWidget* parent, const runtime::ControlTemplate& row)
    : QTextBrowser(parent) {
  setFrameShape(row.border ? QFrame::Box : QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setOpenLinks(false);
  setOpenExternalLinks(false);
  document()->setDocumentMargin(0);
  document()->setDefaultStyleSheet(from_gbk(row.style_sheet));
  setHtml(from_gbk(row.text));
  connect(this, &QTextBrowser::anchorClicked, this,
          [](const QUrl& url) { QDesktopServices::openUrl(url); });
}

}  // namespace pelorin::qt
