#include "runtime/qt/browser.h"

#include <QWebEngineSettings>
#include <cstdio>

#include "runtime/qt/gbk.h"
#include "runtime/qt/widgets.h"

namespace pelorin::qt {

namespace {

const char* termination_name(QWebEnginePage::RenderProcessTerminationStatus status) {
  switch (status) {
    case QWebEnginePage::NormalTerminationStatus:
      return "ended";
    case QWebEnginePage::AbnormalTerminationStatus:
      return "failed";
    case QWebEnginePage::CrashedTerminationStatus:
      return "crashed";
    case QWebEnginePage::KilledTerminationStatus:
      return "was killed";
  }
  return "ended";
}

}  // namespace

QWebEngineView* make_browser(QtRuntime& rt, const runtime::ControlTemplate& row, QWidget* parent,
                             int font_px) {
  auto* view = new QWebEngineView(parent);
  auto* page = new SilentPage(rt, row.id, view);
  QWebEngineSettings* s = page->settings();
  s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
  s->setAttribute(QWebEngineSettings::ErrorPageEnabled, true);
  s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
  s->setFontSize(QWebEngineSettings::DefaultFontSize, font_px);
  // The page stays usable without its renderer: only a line for whoever reads the log, no
  // dialog and no reload of our own.
  const QByteArray name = from_gbk(row.name).toUtf8();
  QObject::connect(page, &QWebEnginePage::renderProcessTerminated, view,
                   [name](QWebEnginePage::RenderProcessTerminationStatus status, int code) {
                     std::fprintf(stderr, "pelorin: the renderer of %s %s (exit code %d)\n",
                                  name.constData(), termination_name(status), code);
                   });
  view->setPage(page);
  if (!row.text.empty()) view->setUrl(QUrl::fromUserInput(from_gbk(row.text)));
  return view;
}

}  // namespace pelorin::qt
