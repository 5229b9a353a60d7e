#include "runtime/qt/widgets.h"

#include <QGuiApplication>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTimer>
#include <QWebEngineSettings>

#include "runtime/qt/gbk.h"
#include "runtime/qt/qt_runtime.h"
#include "runtime/runtime.h"

namespace pelorin::qt {

namespace {
QColor rgb(std::uint32_t c) {
  return QColor::fromRgb(c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF);
}
}  // namespace

ShapeWidget::ShapeWidget(QWidget* parent, const runtime::ControlTemplate& row)
    : QWidget(parent), width_(row.outline_width), color_(rgb(row.outline_color)) {}

void ShapeWidget::paintEvent(QPaintEvent*) {
  if (width_ <= 0) return;
  QPainter p(this);
  // The outline lies inside the widget's edge: a child widget cannot draw past itself.
  const int w = width_;
  p.fillRect(0, 0, width(), w, color_);
  p.fillRect(0, height() - w, width(), w, color_);
  p.fillRect(0, 0, w, height(), color_);
  p.fillRect(width() - w, 0, w, height(), color_);
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

namespace {

// The ground of the sheet's body rule. Qt takes a body rule of the default sheet only for a
// document that has a body element, which a fragment of markup lacks; a probe document has one.
QBrush body_ground(const QString& sheet) {
  QTextDocument probe;
  probe.setDefaultStyleSheet(sheet);
  probe.setHtml("<body></body>");
  return probe.rootFrame()->frameFormat().background();
}

// Qt paints a link in the application palette's link colour unless the sheet colours it; this
// sheet does not, so a link keeps the colour of the text around it.
void uncolour_links(QTextDocument& document) {
  const QBrush link = QGuiApplication::palette().link();
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    const QTextCharFormat around = block.charFormat();
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      QTextCharFormat format = fragment.charFormat();
      if (!format.isAnchor() || format.foreground() != link) continue;
      if (around.hasProperty(QTextFormat::ForegroundBrush)) {
        format.setForeground(around.foreground());
      } else {
        format.clearForeground();
      }
      QTextCursor cursor(&document);
      cursor.setPosition(fragment.position());
      cursor.setPosition(fragment.position() + fragment.length(), QTextCursor::KeepAnchor);
      cursor.setCharFormat(format);
    }
  }
}

}  // namespace

HypertextBox::HypertextBox(QWidget* parent, const runtime::ControlTemplate& row)
    : QTextBrowser(parent) {
  setFrameShape(row.border ? QFrame::Box : QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setOpenLinks(false);
  setOpenExternalLinks(false);
  const QString sheet = from_gbk(row.style_sheet);
  document()->setDocumentMargin(0);
  document()->setDefaultStyleSheet(sheet);
  setHtml(from_gbk(row.text));
  uncolour_links(*document());
  // The body's ground covers the whole box, not only the lines of text.
  const QBrush ground = body_ground(sheet);
  if (ground.style() != Qt::NoBrush) {
    QPalette p = viewport()->palette();
    p.setBrush(QPalette::Base, ground);
    viewport()->setPalette(p);
    viewport()->setAutoFillBackground(true);
  }
  // The same way into the user's browser as navigate hyperlink and open URL. The click leaves no
  // mark: the link does not stay picked out as the keyboard's current one.
  connect(this, &QTextBrowser::anchorClicked, this, [this](const QUrl& url) {
    runtime::rt().open_url(to_gbk(url.toString()));
    QTimer::singleShot(0, this, [this] {
      QTextCursor cursor = textCursor();
      cursor.clearSelection();
      setTextCursor(cursor);
    });
  });
}

}  // namespace pelorin::qt
