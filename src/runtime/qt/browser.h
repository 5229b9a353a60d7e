// The browser controls: a QWebEngineView with a SilentPage per browser row of the template.
//
// Each view is a browsing instance of its own on the default profile, so Chromium gives each
// its own renderer process: a renderer that crashes or is killed takes down one view's page and
// nothing else. The page object outlives its renderer; the next navigation (a slot's next tick)
// starts a fresh one, so nothing here reloads on its own.
#pragma once

#include <QWebEngineView>

#include "runtime/window_template.h"

namespace pelorin::qt {

class QtRuntime;

// A view for `row`, placed in `parent`, with its page's settings and font size in pixels.
QWebEngineView* make_browser(QtRuntime& rt, const runtime::ControlTemplate& row, QWidget* parent,
                             int font_px);

}  // namespace pelorin::qt
