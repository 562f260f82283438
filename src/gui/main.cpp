#include "gui/app/corvane_app.h"

int main(int argc, char** argv) {
  tessel::CCorvaneApp app;
  return app.Run(argc, argv);
}
