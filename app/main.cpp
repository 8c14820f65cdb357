// quillprobe: finds a product's executable through its registry record and
// examines it. Prints nothing; the exit status says how far the run got.
#include "app/app_platform.h"
#include "app/program.h"
#include "registry/message_box.h"
#include "registry/platform_registry.h"

int main(int argc, char** argv) {
  using namespace quillprobe;
  const auto platform = app::MakePlatformApp(argc, argv);
  return static_cast<int>(app::Main(*platform, registry::PlatformRegistry(),
                                    registry::PlatformMessageBox()));
}
