// The pelorin program: the tool on the Qt backend.
#include "app/app.h"
#include "runtime/qt/run.h"

int main(int argc, char** argv) {
  return pelorin::qt::run(argc, argv, pelorin::app::main_window(), &pelorin::app::entry_routine);
}
